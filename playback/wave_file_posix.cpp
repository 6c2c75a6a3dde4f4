// WAV file access on POSIX: positioned reads on a file descriptor.

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "playback/wave_stream.hpp"

namespace {

// The descriptor of the one file stream that is open, for the end routine.
volatile sig_atomic_t openDescriptor = -1;

class FileWaveStream final : public PositionedFileStream {
public:
    FileWaveStream(int fd, int64_t length) : PositionedFileStream(length), fd_(fd) { openDescriptor = fd; }
    ~FileWaveStream() override {
        if (openDescriptor == fd_) {
            openDescriptor = -1;
            ::close(fd_);
        }
    }
    FileWaveStream(const FileWaveStream&) = delete;
    FileWaveStream& operator=(const FileWaveStream&) = delete;

private:
    int64_t read_at(int64_t offset, char* into, int64_t count) override {
        for (;;) {
            const ssize_t got = ::pread(fd_, into, static_cast<size_t>(count), static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            return got < 0 ? 0 : got;
        }
    }

    int fd_;
};

}  // namespace

std::unique_ptr<WaveStream> open_wave_file_stream(const char* path) {
    if (path == nullptr) return nullptr;
    // O_NONBLOCK: opening a FIFO must not wait for a writer. The file type
    // is checked before anything is read.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FileWaveStream>(fd, static_cast<int64_t>(info.st_size));
}

void close_open_wave_descriptor() {
    int fd = openDescriptor;
    if (fd >= 0) {
        openDescriptor = -1;
        ::close(fd);
    }
}
