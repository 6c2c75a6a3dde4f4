// The call log: see fakeal_log.hpp.

#include "fakeal_log.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "fakeal_text.hpp"

namespace fakeal {

namespace {
// A plain descriptor, never closed at exit, so that a call made while the
// process ends (a close handler, a static destructor) still reaches the log.
int g_logFd = -1;
}  // namespace

void openLog(const char* path)
{
    if (g_logFd >= 0) ::close(g_logFd);
    g_logFd = -1;
    if (path == nullptr || *path == '\0') return;
    g_logFd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (g_logFd < 0) fatal(std::string("cannot open log ") + path);
}

void writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

[[noreturn]] void fatal(const std::string& message)
{
    const std::string line = "fakeal: " + message + "\n";
    writeAll(2, line);
    if (g_logFd >= 0) writeAll(g_logFd, line);
    std::abort();
}

void logLine(std::string line)
{
    if (g_logFd < 0) return;
    line += '\n';
    writeAll(g_logFd, line);
}

std::string dec(long long v) { return std::to_string(v); }

std::string quoted(const char* s) { return s == nullptr ? "NULL" : quoteBytes(s); }

std::string call(const char* fn, std::initializer_list<std::string> args)
{
    std::string out = fn;
    out += '(';
    bool first = true;
    for (const auto& a : args) {
        if (!first) out += ", ";
        out += a;
        first = false;
    }
    return out + ')';
}

std::string nameList(const ALuint* names, ALsizei n)
{
    if (names == nullptr && n > 0) return "NULL";
    std::string out = "[";
    for (ALsizei i = 0; i < n; ++i) {
        if (i > 0) out += ", ";
        out += dec(names[i]);
    }
    return out + "]";
}

}  // namespace fakeal
