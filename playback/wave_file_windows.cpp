// WAV file access on Windows: a file handle read at explicit offsets.

#include <windows.h>

#include "playback/wave_stream.hpp"

namespace {

// The handle of the one file stream that is open, for the end routine.
HANDLE volatile openHandle = nullptr;

class FileWaveStream final : public PositionedFileStream {
public:
    FileWaveStream(HANDLE handle, int64_t length) : PositionedFileStream(length), handle_(handle) {
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

private:
    // A read at an offset leaves no file pointer behind; at or past the end
    // it reads nothing.
    int64_t read_at(int64_t offset, char* into, int64_t count) override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD got = 0;
        if (!ReadFile(handle_, into, static_cast<DWORD>(count), &got, &at)) return 0;
        return got;
    }

    HANDLE handle_;
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
