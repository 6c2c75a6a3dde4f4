#include "console/posix/descriptor_keys.hpp"

#include "console/posix/key_decoder.hpp"
#include "console/posix/descriptor_io.hpp"

namespace {

// How long a lone Esc byte waits for the rest of an escape sequence.
constexpr int kEscapeWaitMs = 25;

}  // namespace

void TerminalKeys::reset(bool utf8) {
    pending_.clear();
    utf8_ = utf8;
    ended_ = false;
}

void TerminalKeys::fill(int timeout_ms) {
    if (ended_) return;
    char buffer[256];
    const long got = read_ready(0, buffer, sizeof buffer, timeout_ms);
    // A raw terminal's read gives 0 bytes when there is nothing: no end.
    if (got > 0)
        pending_.append(buffer, static_cast<std::size_t>(got));
    else if (got == kReadFailed)
        ended_ = true;
}

KeyText TerminalKeys::read(CursorQuery& query) {
    KeyText key;
    if (pending_.empty()) fill(0);
    query.catch_late_answer(0);
    if (pending_.empty() || query.answer_arriving(pending_)) return key;
    std::size_t taken = decode_terminal_key(pending_, utf8_, !ended_, key);
    if (taken == 0) {
        // A sequence that is still arriving: give it a moment.
        fill(kEscapeWaitMs);
        query.catch_late_answer(0);
        if (pending_.empty() || query.answer_arriving(pending_)) return KeyText{};
        taken = decode_terminal_key(pending_, utf8_, false, key);
    }
    pending_.erase(0, taken);
    return key;
}

long DescriptorKeys::read_now(char* into, std::size_t size) {
    const long got = read_ready(fd_, into, size, 0);
    if (got == kNothingReady) return 0;
    return got > 0 ? got : kEnded;
}
