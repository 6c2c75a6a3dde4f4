#pragma once
// Keys on Linux from a file or pipe at a file descriptor, a byte a key.

#include "console/key_text.hpp"
#include "console/stream_keys.hpp"

class DescriptorKeys {
public:
    // Starts over on the input at fd.
    void reset(int fd);
    // One key if one is waiting, else the empty text. Never waits.
    KeyText read();
    // True once the input has ended and every key before the end was read.
    bool ended() const { return keys_.ended(); }

private:
    int fd_ = -1;
    StreamKeys keys_;
};
