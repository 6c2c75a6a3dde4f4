#include "console/posix/terminal_signals.hpp"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <initializer_list>

#include "console/posix/terminal_modes.hpp"

namespace {

// State the signal handlers read: plain values only.
void (*volatile closeRoutine)() = nullptr;
pthread_t mainThread{};  // set before the handlers are installed
// Set when the screen may have changed under the program: it was stopped
// and has resumed (the shell wrote meanwhile), or it was resized.
volatile sig_atomic_t screenChanged = 0;

void install_handler(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal_number, &action, nullptr);
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

// Signal handling belongs on the main thread, so that nothing it is doing
// runs on while the handler works. A signal that lands on another thread
// (OpenAL runs threads of its own) is sent on to the main thread.
// pthread_self and pthread_kill are async-signal-safe; pthread_equal only
// compares.
bool passed_to_main_thread(int signal_number) {
    if (pthread_equal(pthread_self(), mainThread)) return false;
    pthread_kill(mainThread, signal_number);
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
    restore_saved_mode();
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
    const bool was_raw = raw_mode_active();
    restore_saved_mode();
    default_and_raise(signal_number);  // stops here until SIGCONT
    install_handler(signal_number, on_stop_signal);
    if (was_raw && raw_mode_active()) reapply_raw_mode();
    errno = saved_errno;
}

// SIGCONT and SIGWINCH: the size and the cursor are taken again before the
// next output.
void on_screen_change(int) {
    screenChanged = 1;
}

}  // namespace

void install_terminal_signal_handlers(void (*end_routine)()) {
    mainThread = pthread_self();
    closeRoutine = end_routine;
    for (int signal_number : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGPIPE})
        install_handler(signal_number, on_terminating_signal);
    install_handler(SIGTSTP, on_stop_signal);
    for (int signal_number : {SIGCONT, SIGWINCH}) install_handler(signal_number, on_screen_change);
}

bool take_screen_change() {
    if (!screenChanged) return false;
    screenChanged = 0;
    return true;
}

void forget_screen_change() { screenChanged = 0; }
