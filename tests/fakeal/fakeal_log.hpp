// The stand-in's call log and its text forms: one line a call, written at
// once with one write(2), and the fatal end of a run that the scenario or
// the environment makes impossible.
#pragma once

#include <AL/al.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace fakeal {

// Opens the log named by path (appending), closing the one open before; an
// empty or null path leaves no log. A log that cannot be opened is fatal.
void openLog(const char* path);

// Writes the whole text to fd, going on after interrupted writes.
void writeAll(int fd, std::string_view text);

// Writes "fakeal: <message>" to stderr and to the log, then aborts: a typo
// in a test's scenario fails loudly.
[[noreturn]] void fatal(const std::string& message);

// Appends one line (its line end added) to the log, if there is one.
void logLine(std::string line);

// The log's forms: a decimal number, a quoted string or NULL, the call
// "fn(arg, arg)", and a name list "[1, 2]" ("NULL" for a NULL array).
std::string dec(long long v);
std::string quoted(const char* s);
std::string call(const char* fn, std::initializer_list<std::string> args);
std::string nameList(const ALuint* names, ALsizei n);

}  // namespace fakeal
