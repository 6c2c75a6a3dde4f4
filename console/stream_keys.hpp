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
    // What a read of the input tells besides a count of bytes.
    static constexpr long kEnded = -1;

    // The next key, or the empty text when none has come. read_now(into,
    // size) reads up to size bytes that the input holds now into into,
    // without waiting for more: the count read, 0 when nothing is there yet,
    // or kEnded at the end of the input (or when it cannot be read at all).
    // It is asked only when no key is left from its last read.
    template <typename ReadNow>
    KeyText read(ReadNow read_now) {
        if (pending_.empty() && !ended_) {
            char buffer[256];
            const long got = read_now(buffer, sizeof buffer);
            if (got == kEnded)
                ended_ = true;
            else if (got > 0)
                pending_.append(buffer, static_cast<std::size_t>(got));
        }
        return take();
    }
    // True once the input has ended and every key before the end was read.
    bool ended() const { return ended_ && pending_.empty(); }
    // Starts over on a new input.
    void restart() {
        pending_.clear();
        ended_ = false;
    }

private:
    // The first key read and not yet given, or the empty text.
    KeyText take();

    std::string pending_;
    bool ended_ = false;
};
