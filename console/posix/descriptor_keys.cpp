#include "console/posix/descriptor_keys.hpp"

#include "console/posix/descriptor_io.hpp"

void DescriptorKeys::reset(int fd) {
    fd_ = fd;
    keys_.restart();
}

KeyText DescriptorKeys::read() {
    return keys_.read([this](char* into, std::size_t size) -> long {
        const long got = read_ready(fd_, into, size, 0);
        if (got == kNothingReady) return 0;
        return got > 0 ? got : StreamKeys::kEnded;
    });
}
