#include "console/windows/handle_keys.hpp"

void HandleKeys::reset(HANDLE input) {
    input_ = input;
    is_pipe_ = GetFileType(input) == FILE_TYPE_PIPE;
    keys_.restart();
}

// Reads one byte at a time.
KeyText HandleKeys::read() {
    return keys_.read([this](char* into, std::size_t) -> long {
        if (!available()) return gone_ ? StreamKeys::kEnded : 0;
        DWORD got = 0;
        return ReadFile(input_, into, 1, &got, nullptr) && got == 1 ? 1 : StreamKeys::kEnded;
    });
}

// Whether to read now. A pipe says how much it holds; a file or character
// device (NUL) answers at once, with 0 bytes at its end. A pipe that cannot
// be asked (wine's view of a Unix pipe) is read all the same: the read then
// waits for the next byte, which only ever happens while the program is
// waiting for a key anyway.
bool HandleKeys::available() {
    gone_ = false;
    if (!is_pipe_) return true;
    DWORD bytes = 0;
    if (PeekNamedPipe(input_, nullptr, 0, nullptr, &bytes, nullptr)) return bytes > 0;
    if (GetLastError() != ERROR_BROKEN_PIPE) return true;
    gone_ = true;  // the writer has gone and everything was read
    return false;
}
