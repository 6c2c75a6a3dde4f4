#include "console/posix/terminal_modes.hpp"

#include <signal.h>
#include <termios.h>

namespace {

// Plain values only: the signal handlers read them.
struct SavedTerminal {
    volatile sig_atomic_t active = 0;  // raw mode is on and must be undone
    int fd = -1;
    termios original{};
};

SavedTerminal savedTerminal;

}  // namespace

void reapply_raw_mode() {
    termios raw = savedTerminal.original;
    // Keys one at a time, unechoed and unedited; Enter arrives as CR and
    // Ctrl+S/Ctrl+Q as keys. Signals stay, so Ctrl+C still interrupts.
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(savedTerminal.fd, TCSANOW, &raw);
}

bool enter_raw_mode(int fd) {
    if (fd < 0 || tcgetattr(fd, &savedTerminal.original) != 0) return false;
    savedTerminal.fd = fd;
    savedTerminal.active = 1;
    reapply_raw_mode();
    return true;
}

void restore_saved_mode() {
    if (savedTerminal.active) tcsetattr(savedTerminal.fd, TCSANOW, &savedTerminal.original);
}

void leave_raw_mode() {
    restore_saved_mode();
    savedTerminal.active = 0;
}

bool raw_mode_active() { return savedTerminal.active != 0; }
