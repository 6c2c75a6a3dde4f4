#include "console/posix/descriptor_io.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "console/write_all.hpp"

long read_ready(int fd, char* into, std::size_t size, int timeout_ms) {
    pollfd entry{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&entry, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return kNothingReady;
    ssize_t got;
    do {
        got = read(fd, into, size);
    } while (got < 0 && errno == EINTR);
    if (got >= 0) return static_cast<long>(got);
    return errno == EAGAIN ? kNothingReady : kReadFailed;
}

void write_fd(int fd, std::string_view bytes) {
    write_all(bytes, [fd](const char* data, std::size_t size) -> std::size_t {
        for (;;) {
            const ssize_t written = write(fd, data, size);
            if (written >= 0) return static_cast<std::size_t>(written);
            if (errno != EINTR) return 0;
        }
    });
}
