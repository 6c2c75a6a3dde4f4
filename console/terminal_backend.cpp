// The console on a Linux terminal: raw keys through termios, the screen
// driven with VT100 cursor and scroll sequences, and signals for the close
// event, for leaving the terminal as it was found, and for following the
// screen when it changes under the program (resumed after a stop, resized).

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/console_backend.hpp"
#include "console/key_decoder.hpp"

namespace {

// How long open console waits for the terminal to answer a cursor-position
// request before it assumes a terminal that does not answer.
constexpr int kReplyTimeoutMs = 1000;
// How long after the request an answer that came too late is still looked
// for, so that it is taken out of the input rather than left for the shell.
constexpr int kLateReplyLimitMs = 3000;
// How long a lone Esc byte waits for the rest of an escape sequence.
constexpr int kEscapeWaitMs = 25;

// State the signal handlers read: plain values only.
struct SavedTerminal {
    volatile sig_atomic_t active = 0;  // raw mode is on and must be undone
    int fd = -1;
    termios original{};
};

SavedTerminal savedTerminal;
void (*volatile closeRoutine)() = nullptr;
volatile pid_t mainThreadId = 0;
// Set when the screen may have changed under the program: it was stopped
// and has resumed (the shell wrote meanwhile), or it was resized.
volatile sig_atomic_t screenChanged = 0;

using Clock = std::chrono::steady_clock;

void restore_terminal_now() {
    if (savedTerminal.active) tcsetattr(savedTerminal.fd, TCSANOW, &savedTerminal.original);
}

void enter_raw_mode() {
    termios raw = savedTerminal.original;
    // Keys one at a time, unechoed and unedited; Enter arrives as CR and
    // Ctrl+S/Ctrl+Q as keys. Signals stay, so Ctrl+C still interrupts.
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(savedTerminal.fd, TCSANOW, &raw);
}

void default_and_raise(int signal_number) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal_number);
    raise(signal_number);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void install_handler(int signal_number, void (*handler)(int));

// Signal handling belongs on the main thread, so that nothing it is doing
// runs on while the handler works. A signal that lands on another thread
// (OpenAL runs threads of its own) is sent on to the main thread.
bool passed_to_main_thread(int signal_number) {
    if (static_cast<pid_t>(syscall(SYS_gettid)) == mainThreadId) return false;
    syscall(SYS_tgkill, getpid(), mainThreadId, signal_number);
    return true;
}

// Runs for SIGHUP (the terminal went away: the close event), SIGINT, SIGTERM,
// SIGQUIT and SIGPIPE (output to a pipe whose reader has gone): the terminal
// is given back, SIGHUP runs the end routine, and the default action of the
// signal ends the process.
void on_terminating_signal(int signal_number) {
    const int saved_errno = errno;
    if (passed_to_main_thread(signal_number)) {
        errno = saved_errno;
        return;
    }
    restore_terminal_now();
    if (signal_number == SIGHUP && closeRoutine != nullptr) closeRoutine();
    default_and_raise(signal_number);  // the default action ends the process
    errno = saved_errno;
}

// Ctrl+Z: give the terminal back while stopped, take it again on resume.
void on_stop_signal(int signal_number) {
    const int saved_errno = errno;
    if (passed_to_main_thread(signal_number)) {
        errno = saved_errno;
        return;
    }
    const bool was_raw = savedTerminal.active;
    restore_terminal_now();
    default_and_raise(signal_number);  // stops here until SIGCONT
    install_handler(signal_number, on_stop_signal);
    if (was_raw && savedTerminal.active) enter_raw_mode();
    errno = saved_errno;
}

// SIGCONT and SIGWINCH: the size and the cursor are taken again before the
// next output.
void on_screen_change(int) {
    screenChanged = 1;
}

void install_handler(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal_number, &action, nullptr);
}

void write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // a terminal that is gone takes nothing more
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

bool wait_readable(int fd, int timeout_ms) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        const int ready = poll(&entry, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

int ms_until(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

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
        std::setlocale(LC_CTYPE, "");
        snapshot.utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
        utf8_ = snapshot.utf8;
        keys_are_terminal_ = isatty(STDIN_FILENO) != 0;
        input_ended_ = false;
        late_answer_expected_ = false;
        pending_.clear();
        tty_bytes_.clear();
        snapshot.is_screen = isatty(STDOUT_FILENO) != 0 && terminal_takes_cursor_control();

        // The terminal to set raw: the keys' terminal, or, with keys from
        // a pipe, the controlling terminal, which answers the cursor
        // request and must not echo what is typed at it meanwhile.
        terminal_fd_ = -1;
        if (keys_are_terminal_) {
            terminal_fd_ = STDIN_FILENO;
        } else if (snapshot.is_screen) {
            own_tty_fd_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
            terminal_fd_ = own_tty_fd_;
        }
        if (terminal_fd_ >= 0 && tcgetattr(terminal_fd_, &savedTerminal.original) == 0) {
            savedTerminal.fd = terminal_fd_;
            savedTerminal.active = 1;
            enter_raw_mode();
        }
        if (!snapshot.is_screen) return snapshot;
        screenChanged = 0;
        measure(snapshot);
        return snapshot;
    }

    bool refresh(ConsoleSnapshot& snapshot) override {
        if (!screenChanged || !snapshot.is_screen) return false;
        screenChanged = 0;
        measure(snapshot);
        return true;
    }

    void detach() override {
        commit();
        // An answer still on its way would reach the shell as typed text:
        // it is waited for, until its time is up.
        if (late_answer_due()) catch_late_answer(ms_until(late_deadline_));
        restore_terminal_now();
        savedTerminal.active = 0;
        if (own_tty_fd_ >= 0) {
            close(own_tty_fd_);
            own_tty_fd_ = -1;
        }
        terminal_fd_ = -1;
    }

    int register_close_handler(void (*end_routine)()) override {
        mainThreadId = static_cast<pid_t>(syscall(SYS_gettid));
        closeRoutine = end_routine;
        for (int signal_number : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGPIPE})
            install_handler(signal_number, on_terminating_signal);
        install_handler(SIGTSTP, on_stop_signal);
        for (int signal_number : {SIGCONT, SIGWINCH}) install_handler(signal_number, on_screen_change);
        return 1;
    }

    void scroll_up() override {
        // Index on the bottom row moves the whole screen up one row and
        // brings in a blank row in the terminal's current colours.
        out_ += "\x1b[" + std::to_string(height_) + ";1H\x1b" "D";
    }

    void put_cells(int x, int y, const Cell* cells, int count) override {
        out_ += "\x1b[" + std::to_string(y + 1) + ";" + std::to_string(x + 1) + "H";
        for (int i = 0; i < count; ++i) out_.append(cells[i].bytes, static_cast<size_t>(cells[i].length));
    }

    void place_cursor(int x, int y) override {
        out_ += "\x1b[" + std::to_string(std::max(y, 0) + 1) + ";" + std::to_string(std::max(x, 0) + 1) + "H";
    }

    void commit() override {
        write_all(STDOUT_FILENO, out_.data(), out_.size());
        out_.clear();
    }

    void write_stream(std::string_view bytes) override {
        write_all(STDOUT_FILENO, bytes.data(), bytes.size());
    }

    KeyText read_key() override {
        KeyText key;
        if (pending_.empty()) fill_pending(0);
        catch_late_answer(0);
        if (pending_.empty()) return key;
        if (!keys_are_terminal_) {
            // Keys from a file or pipe: every byte is one key.
            key.chars[0] = pending_[0] == 0 ? static_cast<char>(255) : pending_[0];
            pending_.erase(0, 1);
            return key;
        }
        if (answer_arriving()) return key;
        std::size_t taken = decode_terminal_key(pending_, utf8_, !input_ended_, key);
        if (taken == 0) {
            // A sequence that is still arriving: give it a moment.
            fill_pending(kEscapeWaitMs);
            catch_late_answer(0);
            if (pending_.empty() || answer_arriving()) return KeyText{};
            taken = decode_terminal_key(pending_, utf8_, false, key);
        }
        pending_.erase(0, taken);
        return key;
    }

    bool keys_ended() override { return !keys_are_terminal_ && input_ended_ && pending_.empty(); }

private:
    // Takes the terminal's size and the cursor position into snapshot.
    void measure(ConsoleSnapshot& snapshot) {
        int row = 0;
        int column = 0;
        const bool located = ask_cursor(row, column);
        snapshot.width = 0;
        snapshot.height = 0;
        winsize size{};
        if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
            snapshot.width = size.ws_col;
            snapshot.height = size.ws_row;
        } else if (located) {
            // No size from the terminal driver: send the cursor to the far
            // corner, ask where it stopped, and put it back.
            int rows = 0;
            int columns = 0;
            write_text("\x1b[999;999H");
            if (ask_cursor(rows, columns)) {
                snapshot.width = columns;
                snapshot.height = rows;
            }
            write_text("\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H");
        }
        if (snapshot.width <= 0 || snapshot.height <= 0) {
            snapshot.width = 80;
            snapshot.height = 24;
        }
        height_ = snapshot.height;
        if (located) {
            snapshot.cursor_x = std::min(column, snapshot.width) - 1;
            snapshot.cursor_y = std::min(row, snapshot.height) - 1;
        } else {
            // Nobody told us where the cursor is: start on a fresh bottom
            // row, moving what is on the screen up rather than over it.
            snapshot.cursor_x = 0;
            snapshot.cursor_y = snapshot.height - 1;
            scroll_up();
            place_cursor(0, snapshot.cursor_y);
            commit();
        }
    }

    // Reads what the keys' input holds now (waiting up to timeout_ms for
    // the first byte) and appends it to the pending keys.
    void fill_pending(int timeout_ms) {
        if (input_ended_ || !wait_readable(STDIN_FILENO, timeout_ms)) return;
        char buffer[256];
        ssize_t got;
        do {
            got = read(STDIN_FILENO, buffer, sizeof buffer);
        } while (got < 0 && errno == EINTR);
        if (got > 0)
            pending_.append(buffer, static_cast<size_t>(got));
        else if (got == 0 && !keys_are_terminal_)
            input_ended_ = true;  // end of the file or pipe: no more keys
        else if (got < 0 && errno != EAGAIN)
            input_ended_ = true;
    }

    // Asks the terminal where the cursor is (1-based row and column).
    bool ask_cursor(int& row, int& column) {
        if (terminal_fd_ < 0) return false;
        // An answer to an earlier request that is still on its way comes
        // before the answer to this one.
        bool earlier_answer_due = late_answer_due();
        late_answer_expected_ = false;
        write_text("\x1b[6n");
        const Clock::time_point asked = Clock::now();
        const Clock::time_point deadline = asked + std::chrono::milliseconds(kReplyTimeoutMs);
        bool found = false;
        while (!found && read_cursor_report(ms_until(deadline), row, column)) {
            found = !earlier_answer_due;
            earlier_answer_due = false;
        }
        if (!found) {
            late_answer_expected_ = true;
            late_deadline_ = asked + std::chrono::milliseconds(kLateReplyLimitMs);
        }
        return found && row > 0 && column > 0;
    }

    // Reads the terminal one byte at a time, so that nothing after the
    // answer is taken, until a cursor report is complete (true) or nothing
    // more came within timeout_ms. On the keys' terminal the bytes around
    // the report are keys typed ahead and stay pending; another terminal's
    // bytes are not this program's keys.
    bool read_cursor_report(int timeout_ms, int& row, int& column) {
        std::string& bytes = keys_are_terminal_ ? pending_ : tty_bytes_;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            if (take_cursor_report(bytes, row, column)) return true;
            if (!keys_are_terminal_) tty_bytes_.erase(0, std::min(tty_bytes_.rfind('\x1b'), tty_bytes_.size()));
            if (!wait_readable(terminal_fd_, ms_until(deadline))) return false;
            char byte = 0;
            const ssize_t got = read(terminal_fd_, &byte, 1);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            bytes += byte;
        }
    }

    // An answer to the cursor request that came after ask_cursor stopped
    // waiting is no key and must not reach the shell: it is taken out of
    // the input wherever it arrives, in one piece or several.
    void catch_late_answer(int timeout_ms) {
        int row = 0;
        int column = 0;
        if (late_answer_expected_ && read_cursor_report(timeout_ms, row, column)) late_answer_expected_ = false;
    }

    bool late_answer_due() const { return late_answer_expected_ && Clock::now() < late_deadline_; }

    // The pending keys are the first part of a late answer whose rest is
    // still on its way.
    bool answer_arriving() const { return late_answer_due() && is_cursor_report_start(pending_); }

    void write_text(const std::string& text) { write_all(STDOUT_FILENO, text.data(), text.size()); }

    std::string out_;
    std::string pending_;
    std::string tty_bytes_;  // from the controlling terminal when the keys come from elsewhere
    int height_ = 24;
    int terminal_fd_ = -1;   // the terminal that answers the cursor request
    int own_tty_fd_ = -1;
    bool utf8_ = false;
    bool keys_are_terminal_ = false;
    bool input_ended_ = false;
    bool late_answer_expected_ = false;
    Clock::time_point late_deadline_{};
};

}  // namespace

ConsoleBackend& terminal_console_backend() {
    static TerminalBackend backend;
    return backend;
}
