// The stand-in's call log and its text forms: one line a call, written at
// once with one write(2) (it survives a killed process), and the fatal end
// of a run that the scenario or the environment makes impossible.
#pragma once

#include <AL/al.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "console/write_all.hpp"
#include "fakeal_text.hpp"

namespace fakeal {

// A plain descriptor, never closed at exit, so that a call made while the
// process ends (a close handler, a static destructor) still reaches the log.
inline int g_logFd = -1;

// Writes the whole text to fd, going on after interrupted writes.
inline void writeAll(int fd, std::string_view text)
{
    write_all(text, [fd](const char* data, std::size_t size) -> std::size_t {
        for (;;) {
            const auto n = ::write(fd, data, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) return 0;
        }
    });
}

// Writes "fakeal: <message>" to stderr and to the log, then aborts: a typo
// in a test's scenario fails loudly.
[[noreturn]] inline void fatal(const std::string& message)
{
    const std::string line = "fakeal: " + message + "\n";
    writeAll(2, line);
    if (g_logFd >= 0) writeAll(g_logFd, line);
    std::abort();
}

// Opens the log named by path (appending), closing the one open before; an
// empty or null path leaves no log. A log that cannot be opened is fatal.
inline void openLog(const char* path)
{
    if (g_logFd >= 0) ::close(g_logFd);
    g_logFd = -1;
    if (path == nullptr || *path == '\0') return;
    g_logFd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (g_logFd < 0) fatal(std::string("cannot open log ") + path);
}

// Appends one line (its line end added) to the log, if there is one.
inline void logLine(std::string line)
{
    if (g_logFd < 0) return;
    line += '\n';
    writeAll(g_logFd, line);
}

// The log's forms: a decimal number, a quoted string or NULL, the call
// "fn(arg, arg)", and a name list "[1, 2]" ("NULL" for a NULL array).
inline std::string dec(long long v) { return std::to_string(v); }

inline std::string quoted(const char* s) { return s == nullptr ? "NULL" : quoteBytes(s); }

inline std::string call(const char* fn, std::initializer_list<std::string> args)
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

inline std::string nameList(const ALuint* names, ALsizei n)
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
