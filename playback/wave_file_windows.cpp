// WAV file access on Windows: a file handle read at explicit offsets.

#include <windows.h>

#include "playback/wave_stream.hpp"

extern const char kMediaDirectory[] = "..\\Media\\";

namespace {

// The handle of the one file stream that is open, for the end routine.
HANDLE volatile openHandle = nullptr;

class FileWaveStream final : public WaveStream {
public:
    FileWaveStream(HANDLE handle, int64_t length) : handle_(handle), length_(length) {
        InterlockedExchangePointer(&openHandle, handle);
    }
    ~FileWaveStream() override {
        // Whoever takes the handle out of openHandle closes it: here, or the
        // end routine.
        if (InterlockedCompareExchangePointer(&openHandle, nullptr, handle_) == handle_)
            CloseHandle(handle_);
    }
    FileWaveStream(const FileWaveStream&) = delete;
    FileWaveStream& operator=(const FileWaveStream&) = delete;

    int64_t read(void* into, int64_t size) override {
        auto* out = static_cast<char*>(into);
        int64_t done = 0;
        // Every pass either moves `done` on or leaves the loop.
        while (done < size) {
            const DWORD chunk = size - done > kMaxSingleRead ? kMaxSingleRead : static_cast<DWORD>(size - done);
            const DWORD got = read_at(position_ + done, out + done, chunk);
            if (got == 0) break;
            done += got;
        }
        position_ += done;
        return done;
    }
    int64_t tell() const override { return position_; }
    void seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
    bool eof() override {
        char byte;
        return read_at(position_, &byte, 1) != 1;
    }
    int64_t size() const override { return length_; }

private:
    static constexpr DWORD kMaxSingleRead = DWORD{1} << 30;

    // A read at an offset that leaves no file pointer behind; at or past
    // the end it reads nothing.
    DWORD read_at(int64_t offset, char* into, DWORD count) const {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD got = 0;
        if (!ReadFile(handle_, into, count, &got, &at)) return 0;
        return got;
    }

    HANDLE handle_;
    int64_t length_;
    int64_t position_ = 0;
};

}  // namespace

std::unique_ptr<WaveStream> open_wave_file_stream(const char* path) {
    if (path == nullptr) return nullptr;
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS; a device
    // (CON, NUL, a pipe) opens, and is turned away by its type before
    // anything is read.
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        return nullptr;
    }
    const int64_t length = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    return std::make_unique<FileWaveStream>(handle, length);
}

void close_open_wave_descriptor() {
    HANDLE handle = InterlockedExchangePointer(&openHandle, nullptr);
    if (handle != nullptr) CloseHandle(handle);
}
