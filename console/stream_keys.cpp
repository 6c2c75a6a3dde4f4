#include "console/stream_keys.hpp"

KeyText StreamKeys::read() {
    if (pending_.empty() && !ended_) {
        char buffer[256];
        const long got = read_now(buffer, sizeof buffer);
        if (got == kEnded)
            ended_ = true;
        else if (got > 0)
            pending_.append(buffer, static_cast<std::size_t>(got));
    }
    if (pending_.empty()) return KeyText{};
    const auto byte = static_cast<unsigned char>(pending_[0]);
    pending_.erase(0, 1);
    return single_key(byte == 0 ? kKeyWithoutCharacter : byte);
}
