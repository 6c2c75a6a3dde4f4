// The console on Windows: the process's console screen buffer, written cell
// by cell at the tracked cursor; key events read one input record at a time;
// and a control handler for the close event.
//
// Names reach the screen as UTF-16 through the W function, one unit per
// cell: OpenAL Soft reports them in UTF-8, which the console's code page
// would show as several wrong cells each.

#include <windows.h>

#include <string>

#include "console/character_width.hpp"
#include "console/console_backend.hpp"
#include "console/stream_keys.hpp"
#include "console/write_all.hpp"

namespace {

// What the control handler reads; set on the main thread before the
// handler is registered.
void (*volatile closeRoutine)() = nullptr;
HANDLE mainThread = nullptr;

// The platform calls this on a thread of its own. On the close event the end
// routine runs; for every event the answer is "not handled", so the default
// handling ends the process (Ctrl+C and Ctrl+Break at once, without the end
// routine).
BOOL WINAPI on_control_event(DWORD event_type) {
    if (event_type == CTRL_CLOSE_EVENT) {
        // The end routine closes the WAV file and frees the device list's
        // store while the main thread would go on using them: hold the main
        // thread first. It never runs again; the process ends after this.
        if (mainThread != nullptr) SuspendThread(mainThread);
        if (closeRoutine != nullptr) closeRoutine();
    }
    return FALSE;
}

// The UTF-16 unit of a cell. Cells hold characters of the Basic Multilingual
// Plane only (text_cells replaces every other), so one unit is enough;
// anything else shows as U+FFFD.
WCHAR cell_unit(const Cell& cell) {
    return cell.code_point <= 0xFFFF ? static_cast<WCHAR>(cell.code_point) : WCHAR{0xFFFD};
}

// Keys from a file or pipe, read one byte at a time.
class HandleKeys final : public StreamKeys {
public:
    void reset(HANDLE input) {
        input_ = input;
        is_pipe_ = GetFileType(input) == FILE_TYPE_PIPE;
        restart();
    }

private:
    long read_now(char* into, std::size_t) override {
        if (!available()) return gone_ ? kEnded : 0;
        DWORD got = 0;
        return ReadFile(input_, into, 1, &got, nullptr) && got == 1 ? 1 : kEnded;
    }

    // Whether to read now. A pipe says how much it holds; a file or
    // character device (NUL) answers at once, with 0 bytes at its end. A
    // pipe that cannot be asked (wine's view of a Unix pipe) is read all the
    // same: the read then waits for the next byte, which only ever happens
    // while the program is waiting for a key anyway.
    bool available() {
        gone_ = false;
        if (!is_pipe_) return true;
        DWORD bytes = 0;
        if (PeekNamedPipe(input_, nullptr, 0, nullptr, &bytes, nullptr)) return bytes > 0;
        if (GetLastError() != ERROR_BROKEN_PIPE) return true;
        gone_ = true;  // the writer has gone and everything was read
        return false;
    }

    HANDLE input_ = INVALID_HANDLE_VALUE;
    bool is_pipe_ = false;
    bool gone_ = false;
};

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
        buffer_width_ = info.dwSize.X;
        buffer_height_ = info.dwSize.Y;
        attribute_ = info.wAttributes;
        return snapshot;
    }

    // Nothing was changed, so nothing is given back; the output handle is
    // forgotten.
    void detach() override { output_ = INVALID_HANDLE_VALUE; }

    int register_close_handler(void (*end_routine)()) override {
        closeRoutine = end_routine;
        if (mainThread == nullptr)
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread,
                            THREAD_SUSPEND_RESUME, FALSE, 0);
        return SetConsoleCtrlHandler(on_control_event, TRUE) ? 1 : 0;
    }

    // The whole buffer moves up one row; its last row becomes blank cells
    // in the attribute the console had at the start.
    void scroll_up(int) override {
        const SMALL_RECT rows{0, 1, static_cast<SHORT>(buffer_width_ - 1), static_cast<SHORT>(buffer_height_ - 1)};
        CHAR_INFO blank;
        blank.Char.AsciiChar = ' ';
        blank.Attributes = attribute_;
        ScrollConsoleScreenBufferA(output_, &rows, nullptr, COORD{0, 0}, &blank);
    }

    void put_cells(int x, int y, const Cell* cells, int count) override {
        if (count <= 0) return;
        std::wstring units(static_cast<size_t>(count), L' ');
        for (int i = 0; i < count; ++i) units[static_cast<size_t>(i)] = cell_unit(cells[i]);
        const COORD at{static_cast<SHORT>(x), static_cast<SHORT>(y)};
        DWORD done = 0;
        FillConsoleOutputAttribute(output_, attribute_, static_cast<DWORD>(count), at, &done);
        WriteConsoleOutputCharacterW(output_, units.data(), static_cast<DWORD>(count), at, &done);
    }

    void place_cursor(int x, int y) override {
        SetConsoleCursorPosition(output_, COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
    }

    // Every call above has reached the console when it returns.
    void commit() override {}

    void write_stream(std::string_view bytes) override {
        write_all(bytes, [this](const char* data, std::size_t size) -> std::size_t {
            const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            return WriteFile(output_, data, chunk, &written, nullptr) ? written : 0;
        });
    }

    KeyText read_key() override {
        if (!keys_are_console_) return stream_keys_.read();
        KeyText key;
        DWORD pending = 0;
        if (!GetNumberOfConsoleInputEvents(input_, &pending) || pending == 0) return key;
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputA(input_, &record, 1, &read) || read == 0) return key;
        // Mouse, focus, menu and buffer-size events and key releases are
        // used up without a result.
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return key;
        const auto character = static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
        const auto scan_code = static_cast<unsigned char>(record.Event.KeyEvent.wVirtualScanCode & 0xFF);
        if (character == 0 && scan_code == 0) return key;
        key.chars[0] = static_cast<char>(character == 0 ? kKeyWithoutCharacter : character);
        key.chars[1] = static_cast<char>(scan_code);  // 0 ends the text after one character
        return key;
    }

    // The console's input never ends; a file's or pipe's does.
    bool keys_ended() override { return !keys_are_console_ && stream_keys_.ended(); }

private:
    HANDLE input_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    int buffer_width_ = 0;
    int buffer_height_ = 0;
    WORD attribute_ = 0;
    bool keys_are_console_ = false;
    HandleKeys stream_keys_;
};

}  // namespace

ConsoleBackend& terminal_console_backend() {
    static WindowsConsoleBackend backend;
    return backend;
}
