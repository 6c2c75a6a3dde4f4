#pragma once
// Keys on Windows from a file or pipe at a handle, a byte a key.

#include <windows.h>

#include "console/key_text.hpp"
#include "console/stream_keys.hpp"

class HandleKeys {
public:
    // Starts over on the input at input.
    void reset(HANDLE input);
    // One key if one is waiting, else the empty text.
    KeyText read();
    // True once the input has ended and every key before the end was read.
    bool ended() const { return keys_.ended(); }

private:
    bool available();

    HANDLE input_ = INVALID_HANDLE_VALUE;
    bool is_pipe_ = false;
    bool gone_ = false;
    StreamKeys keys_;
};
