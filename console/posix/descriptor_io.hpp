#pragma once
// Reading and writing the terminal's file descriptors on POSIX: a read that
// waits a bounded time for bytes, and a write that hands over all of them.

#include <cstddef>
#include <string_view>

// What read_ready gives besides a count of bytes.
inline constexpr long kNothingReady = -1;  // nothing came within the time
inline constexpr long kReadFailed = -2;    // the input cannot be read

// Waits up to timeout_ms for fd to hold bytes, then reads up to size of
// them into into: the count read, 0 at the end of a file or pipe,
// kNothingReady or kReadFailed. An interrupted wait or read is taken up
// again.
long read_ready(int fd, char* into, std::size_t size, int timeout_ms);

// Writes all of bytes to fd; an output that is gone takes nothing more.
void write_fd(int fd, std::string_view bytes);
