#pragma once
// The byte source the WAV reader walks: open, read, position, absolute seek,
// end-of-file test, close. The reader sees only this interface, so the same
// parser runs over a file on disk, over a memory block in the tests, and
// under the fuzzer.
//
// Positions and sizes are 64-bit so that no sum of a position and a declared
// chunk size can wrap.

#include <cstdint>
#include <memory>

class WaveStream {
public:
    virtual ~WaveStream() = default;
    // Reads up to size bytes at the position into `into` and moves the
    // position on by the bytes read; returns that count (0 at the end).
    virtual int64_t read(void* into, int64_t size) = 0;
    // The position as a byte offset from the start.
    virtual int64_t tell() const = 0;
    // Sets the position; any position at or beyond 0 is allowed, including
    // past the end, where reads give nothing.
    virtual void seek(int64_t position) = 0;
    // True when not even one byte can be read at the position. The position
    // does not move.
    virtual bool eof() = 0;
    // Total length in bytes.
    virtual int64_t size() const = 0;
};

// A file read at explicit offsets, so that no shared file position is
// involved. The platform's file stream gives read_at and closes its handle;
// the walk over pieces and the position are common.
class PositionedFileStream : public WaveStream {
public:
    explicit PositionedFileStream(int64_t length) : length_(length) {}
    int64_t read(void* into, int64_t size) final;
    int64_t tell() const final { return position_; }
    void seek(int64_t position) final { position_ = position < 0 ? 0 : position; }
    bool eof() final;
    int64_t size() const final { return length_; }

protected:
    // The largest piece one read_at is asked for: both Linux and Windows
    // move at most about 2 GiB a call; stay well below.
    static constexpr int64_t kMaxSingleRead = int64_t{1} << 30;
    // Reads up to count bytes (at most kMaxSingleRead) at offset into `into`;
    // returns how many, 0 at the end of the file or on an error.
    virtual int64_t read_at(int64_t offset, char* into, int64_t count) = 0;

private:
    int64_t length_;
    int64_t position_ = 0;
};

// Opens an existing regular file for reading. Directories, FIFOs, devices
// and files that cannot be opened give null; the open never blocks.
std::unique_ptr<WaveStream> open_wave_file_stream(const char* path);

// A stream over a memory block that the caller keeps alive.
std::unique_ptr<WaveStream> make_memory_wave_stream(const uint8_t* bytes, int64_t size);

// Closes the file descriptor of the file stream that is open, if any, with
// nothing but async-signal-safe calls; for the end routine, which may run
// from a signal handler (on Windows, from the console's handler thread).
// The stream object itself is left for the process end to release.
void close_open_wave_descriptor();
