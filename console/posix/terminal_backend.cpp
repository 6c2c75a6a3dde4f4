// The console on a Linux terminal: the wiring of its parts. Raw keys through
// the terminal's modes, read with the terminal's other answers from one
// input; the screen driven with VT100 sequences; its size and cursor
// measured; and signals for the close event, for leaving the terminal as it
// was found, and for following the screen when it changes under the program.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "console/character_width.hpp"
#include "console/console_backend.hpp"
#include "console/posix/descriptor_io.hpp"
#include "console/posix/descriptor_keys.hpp"
#include "console/posix/screen_measure.hpp"
#include "console/posix/terminal_input.hpp"
#include "console/posix/terminal_modes.hpp"
#include "console/posix/terminal_signals.hpp"
#include "console/posix/vt100_surface.hpp"

namespace {

// A terminal that declares itself dumb, or declares nothing, cannot take
// cursor sequences or answer a cursor request: it is written like a file.
bool terminal_takes_cursor_control() {
    const char* term = std::getenv("TERM");
    return term != nullptr && term[0] != 0 && std::strcmp(term, "dumb") != 0;
}

class TerminalBackend final : public ConsoleBackend {
public:
    ConsoleSnapshot attach() override {
        ConsoleSnapshot snapshot;
        snapshot.utf8 = adopt_screen_character_set();
        keys_are_terminal_ = isatty(STDIN_FILENO) != 0;
        stream_keys_.reset(STDIN_FILENO);
        snapshot.is_screen = isatty(STDOUT_FILENO) != 0 && terminal_takes_cursor_control();

        // The terminal to set raw: the keys' terminal, or, with keys from
        // a pipe, the controlling terminal, which answers the cursor
        // request and must not echo what is typed at it meanwhile.
        int terminal_fd = -1;
        if (keys_are_terminal_) {
            terminal_fd = STDIN_FILENO;
        } else if (snapshot.is_screen) {
            own_tty_fd_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
            terminal_fd = own_tty_fd_;
        }
        enter_raw_mode(terminal_fd);
        input_.reset(STDOUT_FILENO, terminal_fd, keys_are_terminal_, snapshot.utf8);
        if (!snapshot.is_screen) return snapshot;
        forget_screen_change();
        measure_screen(input_, surface_, snapshot.screen);
        return snapshot;
    }

    void refresh(ConsoleSnapshot& snapshot) override {
        if (snapshot.is_screen && take_screen_change()) measure_screen(input_, surface_, snapshot.screen);
    }

    void detach() override {
        surface_.commit();
        // An answer still on its way would reach the shell as typed text.
        input_.wait_out_late_answer();
        leave_raw_mode();
        if (own_tty_fd_ >= 0) {
            close(own_tty_fd_);
            own_tty_fd_ = -1;
        }
        input_.reset(STDOUT_FILENO, -1, false, false);
    }

    int register_close_handler(void (*end_routine)()) override {
        install_terminal_signal_handlers(end_routine);
        return 1;
    }

    ScreenSurface& surface() override { return surface_; }

    void write_stream(std::string_view bytes) override { write_fd(STDOUT_FILENO, bytes); }

    KeyText read_key() override {
        if (keys_are_terminal_) return input_.read_key();
        input_.catch_late_answer(0);
        return stream_keys_.read();
    }

    bool keys_ended() override { return !keys_are_terminal_ && stream_keys_.ended(); }

private:
    Vt100Surface surface_;
    TerminalInput input_;
    DescriptorKeys stream_keys_;
    int own_tty_fd_ = -1;
    bool keys_are_terminal_ = false;
};

}  // namespace

ConsoleBackend& process_console_backend() {
    static TerminalBackend backend;
    return backend;
}
