#include "terminal_session.hpp"

#include <vterm.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "console/write_all.hpp"

extern char** environ;

namespace screen {
namespace {

// How long one wait for output or for the program's end may block before the
// waiting loop looks at its deadline and condition again.
constexpr Millis kWaitSlice{1000};
// Without a pidfd the end of the program is noticed by looking this often.
constexpr Millis kExitPollInterval{20};

std::runtime_error systemError(const std::string& what, int err = errno) {
    return std::runtime_error(what + ": " + std::strerror(err));
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += "\xEF\xBF\xBD";  // U+FFFD
    }
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void setCloseOnExec(int fd) { ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC); }

struct FlagName {
    tcflag_t bit;
    const char* name;
};

const FlagName kInputFlags[] = {
    {IGNBRK, "IGNBRK"}, {BRKINT, "BRKINT"}, {IGNPAR, "IGNPAR"}, {PARMRK, "PARMRK"},
    {INPCK, "INPCK"},   {ISTRIP, "ISTRIP"}, {INLCR, "INLCR"},   {IGNCR, "IGNCR"},
    {ICRNL, "ICRNL"},   {IUCLC, "IUCLC"},   {IXON, "IXON"},     {IXANY, "IXANY"},
    {IXOFF, "IXOFF"},   {IMAXBEL, "IMAXBEL"}, {IUTF8, "IUTF8"},
};
const FlagName kOutputFlags[] = {
    {OPOST, "OPOST"}, {OLCUC, "OLCUC"},   {ONLCR, "ONLCR"}, {OCRNL, "OCRNL"},
    {ONOCR, "ONOCR"}, {ONLRET, "ONLRET"}, {OFILL, "OFILL"}, {OFDEL, "OFDEL"},
};
const FlagName kLocalFlags[] = {
    {ISIG, "ISIG"},       {ICANON, "ICANON"},   {ECHO, "ECHO"},     {ECHOE, "ECHOE"},
    {ECHOK, "ECHOK"},     {ECHONL, "ECHONL"},   {NOFLSH, "NOFLSH"}, {TOSTOP, "TOSTOP"},
    {ECHOCTL, "ECHOCTL"}, {ECHOPRT, "ECHOPRT"}, {ECHOKE, "ECHOKE"}, {FLUSHO, "FLUSHO"},
    {PENDIN, "PENDIN"},   {IEXTEN, "IEXTEN"},   {EXTPROC, "EXTPROC"},
};

std::string hex(unsigned long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", v);
    return buf;
}

// "ICANON ECHO" for the named bits in `bits`, unnamed ones in hex.
template <size_t N>
std::string flagNames(tcflag_t bits, const FlagName (&names)[N]) {
    std::string out;
    for (const auto& f : names) {
        if (bits & f.bit) {
            out += out.empty() ? "" : " ";
            out += f.name;
            bits &= ~f.bit;
        }
    }
    if (bits) out += (out.empty() ? "" : " ") + hex(bits);
    return out;
}

template <size_t N>
void compareFlags(std::string& out, const char* field, tcflag_t before, tcflag_t after,
                  const FlagName (&names)[N]) {
    if (before == after) return;
    out += std::string(field) + " " + hex(before) + " -> " + hex(after) + ":";
    if (tcflag_t cleared = before & ~after) out += " " + flagNames(cleared, names) + " cleared";
    if (tcflag_t set = after & ~before) out += " " + flagNames(set, names) + " set";
    out += "\n";
}

}  // namespace

std::string ExitStatus::describe() const {
    switch (kind) {
    case Kind::Running:
        return "still running";
    case Kind::Exited:
        return "exited with code " + std::to_string(code);
    case Kind::Signaled:
        return "killed by signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
    }
    return "?";
}

std::string termiosDifferences(const termios& before, const termios& after) {
    std::string out;
    compareFlags(out, "c_iflag", before.c_iflag, after.c_iflag, kInputFlags);
    compareFlags(out, "c_oflag", before.c_oflag, after.c_oflag, kOutputFlags);
    compareFlags(out, "c_lflag", before.c_lflag, after.c_lflag, kLocalFlags);
    for (auto [index, name] : {std::pair{VMIN, "VMIN"}, std::pair{VTIME, "VTIME"}}) {
        if (before.c_cc[index] != after.c_cc[index]) {
            out += std::string("c_cc[") + name + "] " + std::to_string(before.c_cc[index]) + " -> " +
                   std::to_string(after.c_cc[index]) + "\n";
        }
    }
    return out;
}

TerminalSession::TerminalSession(SessionOptions options)
    : rows_(options.rows), cols_(options.cols), answerQueries_(options.answerQueries) {
    if (options.argv.empty()) throw std::invalid_argument("TerminalSession: empty argv");
    if (rows_ <= 0 || cols_ <= 0) throw std::invalid_argument("TerminalSession: bad terminal size");
    startEmulator(options.initialContent);
    openTerminal();
    startChild(options, childEnvironment(options));
}

void TerminalSession::startEmulator(const std::string& initialContent) {
    vt_ = vterm_new(rows_, cols_);
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(
        vt_, [](const char* s, size_t len, void* user) {
            static_cast<TerminalSession*>(user)->replies_.append(s, len);
        },
        this);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
    state_ = vterm_obtain_state(vt_);
    vterm_input_write(vt_, initialContent.data(), initialContent.size());
    replies_.clear();  // nobody is there yet to read an answer
}

void TerminalSession::openTerminal() {
    // The modes a shell leaves behind: echo, canonical input, signals,
    // CR-to-NL in, NL-to-CRNL out (a new pty has them already, they are set
    // here so the tests do not depend on that), and IUTF8 as a shell on a
    // UTF-8 terminal sets it.
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows_);
    ws.ws_col = static_cast<unsigned short>(cols_);
    if (::openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0) throw systemError("openpty");
    setCloseOnExec(master_);
    setCloseOnExec(slave_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    termios modes{};
    if (::tcgetattr(slave_, &modes) != 0) throw systemError("tcgetattr");
    modes.c_iflag |= IUTF8;
    modes.c_iflag |= ICRNL | IXON;
    modes.c_oflag |= OPOST | ONLCR;
    modes.c_lflag |= ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    if (::tcsetattr(slave_, TCSANOW, &modes) != 0) throw systemError("tcsetattr");
    ::tcgetattr(slave_, &startModes_);
}

// The child's environment: the inherited one, less COLUMNS, LINES and what
// the options set or unset, plus the terminal defaults and the options' own.
std::vector<std::string> TerminalSession::childEnvironment(const SessionOptions& options) {
    std::map<std::string, std::string> settings{
        {"TERM", "xterm-256color"}, {"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}};
    for (const auto& [k, v] : options.env) settings[k] = v;
    for (const auto& name : options.unsetEnv) settings.erase(name);
    auto dropped = [&](std::string_view entry) {
        std::string_view name = entry.substr(0, entry.find('='));
        return name == "COLUMNS" || name == "LINES" || settings.count(std::string(name)) ||
               std::find(options.unsetEnv.begin(), options.unsetEnv.end(), name) != options.unsetEnv.end();
    };
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e)
        if (!dropped(*e)) envStrings.emplace_back(*e);
    for (const auto& [k, v] : settings) envStrings.push_back(k + "=" + v);
    return envStrings;
}

// Everything the child needs is built before fork: after it, the child only
// makes system calls.
void TerminalSession::startChild(SessionOptions& options, std::vector<std::string> envStrings) {
    std::vector<char*> envp, argv;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    for (auto& s : options.argv) argv.push_back(s.data());
    argv.push_back(nullptr);
    const char* workdir = options.workdir.empty() ? nullptr : options.workdir.c_str();

    // The child reports a failed start through this pipe; a successful exec
    // closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) throw systemError("pipe2");

    pid_ = ::fork();
    if (pid_ < 0) {
        int err = errno;
        ::close(report[0]);
        ::close(report[1]);
        throw systemError("fork", err);
    }
    if (pid_ == 0) {
        ::close(report[0]);
        ::close(master_);
        const char* stage = "login_tty";
        if (::login_tty(slave_) == 0) {  // new session, the pty as controlling terminal and stdio
            sigset_t all;
            sigemptyset(&all);
            ::sigprocmask(SIG_SETMASK, &all, nullptr);
            for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
            stage = "chdir";
            if (!workdir || ::chdir(workdir) == 0) {
                stage = "exec";
                ::execvpe(argv[0], argv.data(), envp.data());
            }
        }
        int err = errno;
        [[maybe_unused]] ssize_t n = ::write(report[1], &err, sizeof err);
        n = ::write(report[1], stage, std::strlen(stage));
        ::_exit(127);
    }

    ::close(report[1]);
    int err = 0;
    char stage[32] = {};
    ssize_t got;
    do got = ::read(report[0], &err, sizeof err);
    while (got < 0 && errno == EINTR);
    if (got == sizeof err) {
        [[maybe_unused]] ssize_t n = ::read(report[0], stage, sizeof stage - 1);
    }
    ::close(report[0]);
    if (got > 0) {
        reap(0);
        closeFd(master_);
        closeFd(slave_);
        vterm_free(vt_);
        vt_ = nullptr;
        throw systemError(std::string("starting ") + options.argv[0] + " (" + stage + ")", err);
    }
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

TerminalSession::~TerminalSession() {
    if (status_.running() && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(0);
    }
    closeFd(master_);
    closeFd(slave_);
    closeFd(pidfd_);
    if (vt_) vterm_free(vt_);
}

void TerminalSession::feed(const char* bytes, size_t len) {
    output_.append(bytes, len);
    lastOutput_ = std::chrono::steady_clock::now();
    vterm_input_write(vt_, bytes, len);
}

bool TerminalSession::readAvailable() {
    if (master_ < 0) return false;
    bool any = false;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            feed(buf, static_cast<size_t>(n));
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EAGAIN: nothing more now; EIO or 0: no slave side open
    }
    if (!answerQueries_) replies_.clear();
    if (!replies_.empty()) {
        std::string answer;
        answer.swap(replies_);
        writeAll(answer);
    }
    return any;
}

void TerminalSession::writeAll(std::string_view bytes) {
    if (master_ < 0) throw std::logic_error("TerminalSession: terminal already hung up");
    write_all(bytes, [this](const char* data, size_t size) -> size_t {
        for (;;) {
            const ssize_t n = ::write(master_, data, size);
            if (n > 0) return static_cast<size_t>(n);
            if (n < 0 && errno == EAGAIN) {
                // The program is not reading its input and may be blocked
                // writing output: keep reading that while waiting for room.
                pollfd p{master_, POLLIN | POLLOUT, 0};
                ::poll(&p, 1, static_cast<int>(kWaitSlice.count()));
                if (p.revents & POLLIN) readAvailable();
            } else if (!(n < 0 && errno == EINTR)) {
                throw systemError("writing to the terminal");
            }
        }
    });
}

void TerminalSession::send(std::string_view bytes) { writeAll(bytes); }

void TerminalSession::reap(int options) {
    if (!status_.running() || pid_ <= 0) return;
    int st = 0;
    pid_t r;
    do r = ::waitpid(pid_, &st, options);
    while (r < 0 && errno == EINTR);
    if (r != pid_) return;
    if (WIFEXITED(st)) status_ = ExitStatus::exitedWith(WEXITSTATUS(st));
    else if (WIFSIGNALED(st)) status_ = ExitStatus::killedBy(WTERMSIG(st));
    closeFd(pidfd_);
}

void TerminalSession::pump() {
    // Reap first, read after: once the program is seen to have ended, the
    // reads that follow have taken in all it wrote.
    reap(WNOHANG);
    while (readAvailable()) {
    }
}

bool TerminalSession::finished() const { return !status_.running(); }

void TerminalSession::waitForEvent(Millis limit) {
    pollfd fds[2];
    nfds_t n = 0;
    if (master_ >= 0) fds[n++] = {master_, POLLIN, 0};
    if (pidfd_ >= 0) fds[n++] = {pidfd_, POLLIN, 0};
    else limit = std::min(limit, kExitPollInterval);
    ::poll(fds, n, static_cast<int>(std::max<Millis::rep>(limit.count(), 0)));
}

void TerminalSession::pumpFor(Millis duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        pump();
        auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        if (finished() && master_ < 0) return;
        waitForEvent(std::min(left, kWaitSlice));
    }
}

bool TerminalSession::waitUntil(const std::function<bool()>& condition, Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pump();
        if (condition()) return true;
        if (finished()) return false;  // the screen can no longer change
        auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        waitForEvent(std::min(left + Millis{1}, kWaitSlice));
    }
}

bool TerminalSession::shows(std::string_view text) const {
    for (int r = 0; r < rows_; ++r)
        if (row(r).find(text) != std::string::npos) return true;
    return false;
}

bool TerminalSession::waitForText(std::string_view text, Millis timeout) {
    return waitUntil([&] { return shows(text); }, timeout);
}

bool TerminalSession::waitUntilSettled(const std::function<bool()>& condition, Millis quiet, Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pump();
        const auto now = std::chrono::steady_clock::now();
        const bool holds = condition();
        if (holds && (finished() || now >= lastOutput_ + quiet)) return true;
        if (finished() || now >= deadline) return false;
        const auto until = holds ? std::min(lastOutput_ + quiet, deadline) : deadline;
        waitForEvent(std::min(std::chrono::duration_cast<Millis>(until - now) + Millis{1}, kWaitSlice));
    }
}

bool TerminalSession::waitForSettledText(std::string_view text, Millis timeout) {
    return waitUntilSettled([&] { return shows(text); }, kSettleTime, timeout);
}

void TerminalSession::resize(int rows, int cols) {
    pump();
    rows_ = rows;
    cols_ = cols;
    vterm_set_size(vt_, rows, cols);
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    if (::ioctl(master_, TIOCSWINSZ, &ws) != 0) throw systemError("resizing the terminal");
}

bool TerminalSession::waitForRowText(int r, std::string_view text, Millis timeout) {
    return waitUntil([&] { return row(r).find(text) != std::string::npos; }, timeout);
}

bool TerminalSession::waitForCursor(Position where, Millis timeout) {
    return waitUntil([&] { return cursor() == where; }, timeout);
}

bool TerminalSession::waitForRawKeys(Millis timeout) {
    return waitUntil(
        [&] {
            const std::optional<termios> modes = termiosNow();
            return modes && (modes->c_lflag & (ECHO | ICANON)) == 0;
        },
        timeout);
}

bool TerminalSession::waitForExit(Millis timeout) {
    return waitUntil([&] { return !status_.running(); }, timeout);
}

ExitStatus TerminalSession::exitStatus() {
    pump();
    return status_;
}

ExitStatus TerminalSession::waitExit(Millis timeout) {
    waitForExit(timeout);
    return status_;
}

void TerminalSession::kill(int sig) {
    if (status_.running()) ::kill(pid_, sig);
}

void TerminalSession::hangUp() {
    if (master_ < 0) return;
    pump();
    // Closing the master side hangs the terminal up; the program's session
    // gets SIGHUP. The slave side kept here is useless from then on.
    closeFd(master_);
    closeFd(slave_);
}

std::optional<termios> TerminalSession::termiosNow() const {
    termios t{};
    if (slave_ < 0 || ::tcgetattr(slave_, &t) != 0) return std::nullopt;
    return t;
}

std::string TerminalSession::terminalModeChanges() const {
    auto now = termiosNow();
    if (!now) return "terminal hung up\n";
    return termiosDifferences(startModes_, *now);
}

std::string TerminalSession::modeChangesLeftBehind(Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string changes = terminalModeChanges();
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (changes.empty() || master_ < 0 || left.count() <= 0) return changes;
        // A mode change gives the master side no event: look again after
        // each piece of output, and at least every kExitPollInterval.
        waitForEvent(std::min(left, kExitPollInterval));
        pump();
        changes = terminalModeChanges();
    }
}

std::string TerminalSession::cell(int r, int c) const {
    if (r < 0 || r >= rows_ || c < 0 || c >= cols_)
        throw std::out_of_range("TerminalSession::cell(" + std::to_string(r) + "," + std::to_string(c) + ")");
    VTermScreenCell vc{};
    vterm_screen_get_cell(screen_, VTermPos{r, c}, &vc);
    if (vc.chars[0] == 0) return " ";
    if (vc.chars[0] == static_cast<uint32_t>(-1)) return "";  // right half of a wide character
    std::string out;
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && vc.chars[i]; ++i) appendUtf8(out, vc.chars[i]);
    return out;
}

std::string TerminalSession::row(int r, Trailing trailing) const {
    std::string out;
    for (int c = 0; c < cols_; ++c) out += cell(r, c);
    if (trailing == Trailing::Trim) out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

std::vector<std::string> TerminalSession::lines() const {
    std::vector<std::string> out;
    for (int r = 0; r < rows_; ++r) out.push_back(row(r));
    return out;
}

Position TerminalSession::cursor() const {
    VTermPos pos{};
    vterm_state_get_cursorpos(state_, &pos);
    return {pos.row, pos.col};
}

std::string TerminalSession::dump() const {
    Position cur = cursor();
    std::string out = "screen " + std::to_string(rows_) + "x" + std::to_string(cols_) + ", cursor (" +
                      std::to_string(cur.row) + "," + std::to_string(cur.col) + "), program " +
                      status_.describe() + (master_ < 0 ? ", terminal hung up" : "") + "\n";
    for (int r = 0; r < rows_; ++r) {
        char label[16];
        std::snprintf(label, sizeof label, "%3d%c", r, r == cur.row ? '>' : '|');
        out += label + row(r) + "\n";
    }
    return out;
}

}  // namespace screen
