#include "console/stream_keys.hpp"

KeyText StreamKeys::take() {
    if (pending_.empty()) return KeyText{};
    const auto byte = static_cast<unsigned char>(pending_[0]);
    pending_.erase(0, 1);
    return single_key(byte == 0 ? kKeyWithoutCharacter : byte);
}
