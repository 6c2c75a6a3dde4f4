// The console on a Linux terminal: the wiring of its parts. Raw keys through
// the terminal's modes, the screen driven with VT100 cursor and scroll
// sequences, its size and cursor learned from the terminal driver and the
// cursor query, and signals for the close event, for leaving the terminal as
// it was found, and for following the screen when it changes under the
// program.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/character_width.hpp"
#include "console/console_backend.hpp"
#include "console/posix/terminal_input.hpp"
#include "console/posix/descriptor_io.hpp"
#include "console/posix/descriptor_keys.hpp"
#include "console/posix/terminal_modes.hpp"
#include "console/posix/terminal_signals.hpp"
#include "console/text_cells.hpp"

namespace {

// The size assumed where the terminal tells none.
constexpr int kFallbackWidth = 80;
constexpr int kFallbackHeight = 24;

// A terminal that declares itself dumb, or declares nothing, cannot take
// cursor sequences or answer a cursor request: it is written like a file.
bool terminal_takes_cursor_control() {
    const char* term = std::getenv("TERM");
    return term != nullptr && term[0] != 0 && std::strcmp(term, "dumb") != 0;
}

std::string cursor_to(int x, int y) {
    return "\x1b[" + std::to_string(std::max(y, 0) + 1) + ";" + std::to_string(std::max(x, 0) + 1) + "H";
}

class TerminalBackend final : public ConsoleBackend {
public:
    ConsoleSnapshot attach() override {
        ConsoleSnapshot snapshot;
        snapshot.utf8 = adopt_screen_character_set();
        keys_are_terminal_ = isatty(STDIN_FILENO) != 0;
        terminal_keys_.reset(snapshot.utf8);
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
        query_.reset(STDOUT_FILENO, terminal_fd, keys_are_terminal_ ? &terminal_keys_.pending() : nullptr);
        if (!snapshot.is_screen) return snapshot;
        forget_screen_change();
        if (!measure(snapshot)) start_on_fresh_bottom_row(snapshot);
        return snapshot;
    }

    void refresh(ConsoleSnapshot& snapshot) override {
        if (snapshot.is_screen && take_screen_change() && !measure(snapshot)) start_on_fresh_bottom_row(snapshot);
    }

    void detach() override {
        commit();
        // An answer still on its way would reach the shell as typed text.
        query_.wait_out_late_answer();
        leave_raw_mode();
        if (own_tty_fd_ >= 0) {
            close(own_tty_fd_);
            own_tty_fd_ = -1;
        }
        query_.reset(STDOUT_FILENO, -1, nullptr);
    }

    int register_close_handler(void (*end_routine)()) override {
        install_terminal_signal_handlers(end_routine);
        return 1;
    }

    void scroll_up(int bottom_row) override {
        // Index on the bottom row moves the whole screen up one row and
        // brings in a blank row in the terminal's current colours.
        out_ += cursor_to(0, bottom_row) + "\x1b" "D";
    }

    void put_cells(int x, int y, const Cell* cells, int count) override {
        out_ += cursor_to(x, y);
        for (int i = 0; i < count; ++i) append_utf8(out_, cells[i].code_point);
    }

    void place_cursor(int x, int y) override { out_ += cursor_to(x, y); }

    void commit() override {
        write_fd(STDOUT_FILENO, out_);
        out_.clear();
    }

    void write_stream(std::string_view bytes) override { write_fd(STDOUT_FILENO, bytes); }

    KeyText read_key() override {
        if (keys_are_terminal_) return terminal_keys_.read(query_);
        query_.catch_late_answer(0);
        return stream_keys_.read();
    }

    bool keys_ended() override { return !keys_are_terminal_ && stream_keys_.ended(); }

private:
    // Takes the terminal's size and the cursor into snapshot; false when
    // the terminal did not tell where the cursor is.
    bool measure(ConsoleSnapshot& snapshot) {
        ScreenCursor& screen = snapshot.screen;
        int row = 0;
        int column = 0;
        const bool located = query_.ask(row, column);
        measure_size(screen, located ? cursor_to(column - 1, row - 1) : std::string());
        if (!located) return false;
        screen.x = std::min(column, screen.width) - 1;
        screen.y = std::min(row, screen.height) - 1;
        return true;
    }

    // Nobody told where the cursor is: it starts on a fresh bottom row,
    // moving what is on the screen up rather than over it.
    void start_on_fresh_bottom_row(ConsoleSnapshot& snapshot) {
        ScreenCursor& screen = snapshot.screen;
        screen.x = 0;
        screen.y = screen.height - 1;
        scroll_up(screen.y);
        place_cursor(screen.x, screen.y);
        commit();
    }

    // The terminal's size, from its driver; failing that, where the cursor
    // stops when sent to the far corner (and then back to back_to, where the
    // cursor is known); failing that, the usual 80 by 24.
    void measure_size(ScreenCursor& screen, const std::string& back_to) {
        screen = ScreenCursor{};
        winsize size{};
        int rows = 0;
        int columns = 0;
        if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
            screen.width = size.ws_col;
            screen.height = size.ws_row;
        } else if (!back_to.empty()) {
            write_fd(STDOUT_FILENO, "\x1b[999;999H");
            if (query_.ask(rows, columns)) {
                screen.width = columns;
                screen.height = rows;
            }
            write_fd(STDOUT_FILENO, back_to);
        }
        if (screen.width <= 0 || screen.height <= 0) {
            screen.width = kFallbackWidth;
            screen.height = kFallbackHeight;
        }
    }

    std::string out_;
    CursorQuery query_;
    TerminalKeys terminal_keys_;
    DescriptorKeys stream_keys_;
    int own_tty_fd_ = -1;
    bool keys_are_terminal_ = false;
};

}  // namespace

ConsoleBackend& terminal_console_backend() {
    static TerminalBackend backend;
    return backend;
}
