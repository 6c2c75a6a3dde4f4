#pragma once
// Keys on Linux: from the keys' own terminal, decoded from the bytes it
// sends, with the late answer to a cursor request kept out of them; or from
// a file or pipe, a byte a key.

#include <string>

#include "console/posix/terminal_input.hpp"
#include "console/key_text.hpp"
#include "console/stream_keys.hpp"

class TerminalKeys {
public:
    void reset(bool utf8);
    // The keys read but not yet taken, where the cursor query collects too.
    std::string& pending() { return pending_; }
    // One key if one is waiting, else the empty text. Waits only a moment
    // for the rest of an escape sequence that is arriving.
    KeyText read(CursorQuery& query);

private:
    // Appends what the terminal holds now, waiting up to timeout_ms for it.
    void fill(int timeout_ms);

    std::string pending_;
    bool utf8_ = false;
    bool ended_ = false;
};

// Keys from a file or pipe at a file descriptor.
class DescriptorKeys final : public StreamKeys {
public:
    void reset(int fd) {
        fd_ = fd;
        restart();
    }

private:
    long read_now(char* into, std::size_t size) override;

    int fd_ = -1;
};
