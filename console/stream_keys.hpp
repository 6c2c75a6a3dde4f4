#pragma once
// Keys from a file or pipe: every byte is one key, a NUL byte is a key
// without a character, and once the input has ended no key comes any more
// (poll key makes that end a key of its own). Each platform gives only the
// read of what the input holds now.

#include <cstddef>
#include <string>

#include "console/key_text.hpp"

class StreamKeys {
public:
    virtual ~StreamKeys() = default;

    // The next key, or the empty text when none has come. Never waits
    // longer than read_now does.
    KeyText read();
    // True once the input has ended and every key before the end was read.
    bool ended() const { return ended_ && pending_.empty(); }

protected:
    // What read_now tells of the input.
    static constexpr long kEnded = -1;
    // Reads up to size bytes that the input holds now into into, without
    // waiting for more: the count read, 0 when nothing is there yet, or
    // kEnded at the end of the input (or when it cannot be read at all).
    virtual long read_now(char* into, std::size_t size) = 0;
    // Starts over on a new input.
    void restart() {
        pending_.clear();
        ended_ = false;
    }

private:
    std::string pending_;
    bool ended_ = false;
};
