// The console on Windows: the wiring of its parts. The process's console
// screen buffer, written cell by cell at the tracked cursor; keys from the
// console's input records, or from a file or pipe; and a control handler for
// the close event.

#include <windows.h>

#include "console/character_width.hpp"
#include "console/console_backend.hpp"
#include "console/windows/close_handler.hpp"
#include "console/windows/handle_keys.hpp"
#include "console/windows/key_records.hpp"
#include "console/windows/screen_surface.hpp"
#include "console/write_all.hpp"

namespace {

// The largest piece one WriteFile is asked for: Windows moves at most about
// 2 GiB a call; stay well below.
constexpr DWORD kMaxSingleWrite = DWORD{1} << 30;

class WindowsConsoleBackend final : public ConsoleBackend {
public:
    ConsoleSnapshot attach() override {
        input_ = GetStdHandle(STD_INPUT_HANDLE);
        output_ = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0;
        keys_are_console_ = GetConsoleMode(input_, &mode) != 0;
        if (keys_are_console_) {
            // Wine's console reports no pending input events until the
            // input handle has been waited on once; on Windows this wait
            // returns at once and changes nothing.
            WaitForSingleObject(input_, 0);
        } else {
            stream_keys_.reset(input_);
        }

        ConsoleSnapshot snapshot;
        snapshot.utf8 = adopt_screen_character_set();
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(output_, &info)) return snapshot;  // a file or pipe
        snapshot.is_screen = true;
        snapshot.screen.width = info.dwSize.X;
        snapshot.screen.height = info.srWindow.Bottom + 1;
        snapshot.screen.window_width = info.srWindow.Right + 1;
        snapshot.screen.x = info.dwCursorPosition.X;
        snapshot.screen.y = info.dwCursorPosition.Y;
        surface_.reset(output_, info);
        return snapshot;
    }

    // Nothing was changed, so nothing is given back; the output handle is
    // forgotten.
    void detach() override {
        output_ = INVALID_HANDLE_VALUE;
        surface_ = ConsoleSurface{};
    }

    int register_close_handler(void (*end_routine)()) override { return install_close_handler(end_routine); }

    ScreenSurface& surface() override { return surface_; }

    void write_stream(std::string_view bytes) override {
        write_all(bytes, [this](const char* data, std::size_t size) -> std::size_t {
            const DWORD chunk = size > kMaxSingleWrite ? kMaxSingleWrite : static_cast<DWORD>(size);
            DWORD written = 0;
            return WriteFile(output_, data, chunk, &written, nullptr) ? written : 0;
        });
    }

    KeyText read_key() override { return keys_are_console_ ? read_key_record(input_) : stream_keys_.read(); }

    // The console's input never ends; a file's or pipe's does.
    bool keys_ended() override { return !keys_are_console_ && stream_keys_.ended(); }

private:
    HANDLE input_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    bool keys_are_console_ = false;
    ConsoleSurface surface_;
    HandleKeys stream_keys_;
};

}  // namespace

ConsoleBackend& process_console_backend() {
    static WindowsConsoleBackend backend;
    return backend;
}
