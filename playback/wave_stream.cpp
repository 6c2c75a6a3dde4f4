#include "playback/wave_stream.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

class MemoryWaveStream final : public WaveStream {
public:
    MemoryWaveStream(const uint8_t* bytes, int64_t size) : bytes_(bytes), size_(size < 0 ? 0 : size) {}
    int64_t read(void* into, int64_t size) override {
        int64_t available = position_ < size_ ? size_ - position_ : 0;
        int64_t count = size < available ? size : available;
        if (count <= 0) return 0;
        std::memcpy(into, bytes_ + position_, static_cast<size_t>(count));
        position_ += count;
        return count;
    }
    int64_t tell() const override { return position_; }
    void seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
    bool eof() override { return position_ >= size_; }
    int64_t size() const override { return size_; }

private:
    const uint8_t* bytes_;
    int64_t size_;
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

std::unique_ptr<WaveStream> make_memory_wave_stream(const uint8_t* bytes, int64_t size) {
    return std::make_unique<MemoryWaveStream>(bytes, size);
}

void close_open_wave_descriptor() {
    int fd = openDescriptor;
    if (fd >= 0) {
        openDescriptor = -1;
        ::close(fd);
    }
}
