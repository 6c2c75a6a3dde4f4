// The stream over a memory block, and the reading common to the file
// streams. The file streams themselves are the platform's:
// wave_file_posix.cpp and wave_file_windows.cpp.

#include "playback/wave_stream.hpp"

#include <algorithm>
#include <cstring>

namespace {

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

int64_t PositionedFileStream::read(void* into, int64_t size) {
    auto* out = static_cast<char*>(into);
    int64_t done = 0;
    // A read may give fewer bytes than asked for; every pass either moves
    // `done` on or leaves the loop.
    while (done < size) {
        const int64_t got = read_at(position_ + done, out + done, std::min(size - done, kMaxSingleRead));
        if (got <= 0) break;
        done += got;
    }
    position_ += done;
    return done;
}

bool PositionedFileStream::eof() {
    char byte;
    return read_at(position_, &byte, 1) != 1;
}

std::unique_ptr<WaveStream> make_memory_wave_stream(const uint8_t* bytes, int64_t size) {
    return std::make_unique<MemoryWaveStream>(bytes, size);
}
