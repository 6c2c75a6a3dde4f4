// A program running on a pseudo-terminal with a terminal emulator behind it.
//
// The screen tests start the real programs here, send them keys and read the
// emulated screen back: keys and scenario in, lines and cursor out. Everything
// the program writes goes through libvterm, and whatever libvterm answers
// (such as the reply to a cursor-position query) goes back to the program, as
// a real terminal would answer.
//
// Waiting never sleeps a guessed time: the wait helpers read the program's
// output as it arrives and return as soon as the condition holds, or false
// once the timeout has passed (print dump() then).
#pragma once

#include <termios.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

struct VTerm;
struct VTermScreen;
struct VTermState;

namespace screen {

using Millis = std::chrono::milliseconds;

// Long enough for a sanitizer build on a busy machine; a passing test never
// waits for it.
inline constexpr Millis kDefaultTimeout{10000};
// How long the program must have written nothing for its screen to count as
// settled: far longer than a busy machine keeps it between two writes of one
// step, far shorter than a key wait.
inline constexpr Millis kSettleTime{300};

struct SessionOptions {
    std::vector<std::string> argv{};            // argv[0] is looked up in PATH when it has no '/'
    std::map<std::string, std::string> env{};   // set in the child, over the defaults below
    std::vector<std::string> unsetEnv{};        // removed from the child's environment (defaults included)
    std::string workdir{};                      // empty: the caller's working directory
    int rows = 24;
    int cols = 80;
    std::string initialContent{};               // fed to the emulator before the program starts
    bool answerQueries = true;                  // false: the terminal never answers (a slow or dumb one)
};
// The child's environment is the caller's, without COLUMNS and LINES, with
// TERM=xterm-256color, LANG=C.UTF-8 and LC_ALL=C.UTF-8, then `env` applied.

struct Position {
    int row = 0;
    int col = 0;
    friend bool operator==(const Position&, const Position&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Position& p) {
        return os << '(' << p.row << ',' << p.col << ')';
    }
};

struct ExitStatus {
    enum class Kind { Running, Exited, Signaled };
    Kind kind = Kind::Running;
    int code = 0;    // exit code, when Exited
    int signal = 0;  // signal number, when Signaled

    static ExitStatus exitedWith(int code) { return {Kind::Exited, code, 0}; }
    static ExitStatus killedBy(int sig) { return {Kind::Signaled, 0, sig}; }
    bool running() const { return kind == Kind::Running; }
    std::string describe() const;  // "exited with code 0", "killed by signal 1 (Hangup)", "still running"

    friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
    friend std::ostream& operator<<(std::ostream& os, const ExitStatus& s) { return os << s.describe(); }
};

// The differences between two terminal settings in the fields a program that
// changes terminal modes must put back: c_iflag, c_oflag, c_lflag,
// c_cc[VMIN] and c_cc[VTIME]. Empty when they agree, otherwise one line per
// field, e.g. "c_lflag: ICANON ECHO cleared".
std::string termiosDifferences(const termios& before, const termios& after);

enum class Trailing { Trim, Keep };

class TerminalSession {
public:
    // Opens the pty, feeds initialContent to the emulator and starts the
    // program. Throws std::runtime_error when the pty cannot be made or the
    // program cannot be executed.
    explicit TerminalSession(SessionOptions options);
    ~TerminalSession();  // kills (SIGKILL) and reaps a program still running
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    pid_t pid() const { return pid_; }

    // Keys: the bytes are written to the terminal as typed ("\r" is Enter).
    void send(std::string_view bytes);

    // Reads whatever output is there, without waiting, into the emulator.
    void pump();
    // Reads output for the whole duration. Only for checking that something
    // does NOT happen (e.g. a key is not echoed); to wait for something that
    // should happen use the wait helpers.
    void pumpFor(Millis duration);

    // Screen. Rows and columns count from 0. A blank cell reads as " ".
    std::string row(int r, Trailing trailing = Trailing::Trim) const;
    std::vector<std::string> lines() const;  // every row, trailing blanks trimmed
    std::string cell(int r, int c) const;    // "" for the right half of a wide character
    Position cursor() const;
    bool shows(std::string_view text) const;  // some row contains text
    std::string dump() const;                // the screen, cursor and program state, for failure messages
    const std::string& output() const { return output_; }  // every byte the program wrote

    // Waiting. Each reads output until the condition holds (true) or the
    // timeout passes or nothing more can change (false).
    bool waitUntil(const std::function<bool()>& condition, Millis timeout = kDefaultTimeout);
    bool waitForText(std::string_view text, Millis timeout = kDefaultTimeout);             // anywhere on the screen
    bool waitForRowText(int r, std::string_view text, Millis timeout = kDefaultTimeout);   // row r contains text
    bool waitForCursor(Position where, Millis timeout = kDefaultTimeout);
    bool waitForExit(Millis timeout = kDefaultTimeout);
    // The program reads the terminal's keys raw: no echo, no line editing.
    // Keys sent before that would be echoed (wine's console takes the
    // terminal a moment after the program's first output).
    bool waitForRawKeys(Millis timeout = kDefaultTimeout);
    // The settled screen: the condition holds and the program has written
    // nothing for `quiet` (or has ended). Read rows and cursor after these,
    // not after the first sight of a text.
    bool waitUntilSettled(const std::function<bool()>& condition, Millis quiet = kSettleTime,
                          Millis timeout = kDefaultTimeout);
    bool waitForSettledText(std::string_view text, Millis timeout = kDefaultTimeout);

    // The user resizes the window: the emulator takes the new size and the
    // terminal's, which sends the program SIGWINCH.
    void resize(int rows, int cols);

    // Program state. exitStatus() looks without waiting; waitExit() waits up
    // to the timeout and returns Running if the program is still alive then.
    ExitStatus exitStatus();
    ExitStatus waitExit(Millis timeout = kDefaultTimeout);
    void kill(int sig);  // to the program's process
    // Closes the terminal: the program, whose controlling terminal it was,
    // gets SIGHUP. Output and terminal modes cannot be read afterwards.
    void hangUp();

    // Terminal modes: as they were when the program started, and now (also
    // after the program has ended; nullopt after hangUp()).
    const termios& termiosAtStart() const { return startModes_; }
    std::optional<termios> termiosNow() const;
    // termiosDifferences(start, now); "terminal hung up" after hangUp().
    std::string terminalModeChanges() const;
    // What the program left changed once it has ended. Wine's console gives
    // the terminal back a moment after the Windows program itself has ended,
    // so this waits up to timeout for the modes to return before it reports,
    // reading the output meanwhile.
    std::string modeChangesLeftBehind(Millis timeout = Millis(2000));

private:
    void startEmulator(const std::string& initialContent);
    void openTerminal();  // the pty, with the modes a shell leaves behind
    static std::vector<std::string> childEnvironment(const SessionOptions& options);
    void startChild(SessionOptions& options, std::vector<std::string> envStrings);
    bool readAvailable();      // one round of reads; true if any byte came
    void feed(const char* bytes, size_t len);
    void writeAll(std::string_view bytes);
    void reap(int options);
    bool finished() const;     // no more output can come
    void waitForEvent(Millis limit);

    int rows_;
    int cols_;
    int master_ = -1;
    int slave_ = -1;   // kept open so the modes stay readable after the program ends
    int pidfd_ = -1;   // readable once the program has ended; -1 if the kernel lacks pidfd_open
    pid_t pid_ = -1;
    ExitStatus status_;
    termios startModes_{};
    VTerm* vt_ = nullptr;
    VTermScreen* screen_ = nullptr;
    VTermState* state_ = nullptr;
    std::string output_;
    std::chrono::steady_clock::time_point lastOutput_{};
    std::string replies_;  // what the emulator answered, not yet written to the program
    bool answerQueries_ = true;
};

}  // namespace screen
