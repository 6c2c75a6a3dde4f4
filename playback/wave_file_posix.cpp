// WAV file access on POSIX: positioned reads on a file descriptor.

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "playback/wave_stream.hpp"

extern const char kMediaDirectory[] = "../Media/";

namespace {

// The descriptor of the one file stream that is open, for the end routine.
volatile sig_atomic_t openDescriptor = -1;

class FileWaveStream final : public WaveStream {
public:
    FileWaveStream(int fd, int64_t length) : fd_(fd), length_(length) { openDescriptor = fd; }
    ~FileWaveStream() override {
        if (openDescriptor == fd_) {
            openDescriptor = -1;
            ::close(fd_);
        }
    }
    FileWaveStream(const FileWaveStream&) = delete;
    FileWaveStream& operator=(const FileWaveStream&) = delete;

    int64_t read(void* into, int64_t size) override {
        auto* out = static_cast<char*>(into);
        int64_t done = 0;
        // pread may return fewer bytes than asked for; every pass either
        // moves `done` on or leaves the loop.
        while (done < size) {
            size_t chunk = static_cast<size_t>(size - done);
            if (chunk > kMaxSingleRead) chunk = kMaxSingleRead;
            ssize_t got = ::pread(fd_, out + done, chunk, static_cast<off_t>(position_ + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += got;
        }
        position_ += done;
        return done;
    }
    int64_t tell() const override { return position_; }
    void seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
    bool eof() override {
        char byte;
        for (;;) {
            ssize_t got = ::pread(fd_, &byte, 1, static_cast<off_t>(position_));
            if (got < 0 && errno == EINTR) continue;
            return got != 1;
        }
    }
    int64_t size() const override { return length_; }

private:
    // Linux moves at most about 2 GiB per call; stay well below.
    static constexpr size_t kMaxSingleRead = size_t{1} << 30;
    int fd_;
    int64_t length_;
    int64_t position_ = 0;
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
