#include "console/posix/key_decoder.hpp"

#include <algorithm>

#include "console/text_cells.hpp"

std::size_t decode_terminal_key(std::string_view bytes, bool utf8, bool more_may_follow, KeyText& key) {
    if (bytes.empty()) return 0;
    const auto lead = static_cast<unsigned char>(bytes[0]);

    if (lead != kEsc) {
        // Ctrl+@ sends NUL: a key, but without a character.
        if (lead == 0) {
            key = single_key(kKeyWithoutCharacter);
            return 1;
        }
        key = single_key(lead);
        if (!utf8 || lead < 0x80) return 1;
        std::size_t length = utf8_sequence_length(lead);
        std::size_t taken = 1;
        while (taken < length && taken < bytes.size() &&
               (static_cast<unsigned char>(bytes[taken]) & 0xC0) == 0x80)
            ++taken;
        if (taken < length && taken == bytes.size() && more_may_follow) return 0;
        return taken;
    }

    if (bytes.size() == 1) {
        if (more_may_follow) return 0;
        key = single_key(kEsc);
        return 1;
    }
    const char second = bytes[1];
    if (second == kEsc) {  // Esc pressed twice: the first one stands alone
        key = single_key(kEsc);
        return 1;
    }
    key = single_key(kKeyWithoutCharacter);
    if (second == '[') {
        // Control sequence: parameters and intermediates, then one final byte.
        std::size_t i = 2;
        while (i < bytes.size()) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            if (c >= 0x40 && c <= 0x7E) return i + 1;
            if (c < 0x20 || c > 0x3F) return i;  // malformed: stop before the odd byte
            ++i;
        }
        return more_may_follow ? 0 : bytes.size();
    }
    if (second == 'O') {  // SS3: F1 to F4 and keypad keys on many terminals
        if (bytes.size() >= 3) return 3;
        return more_may_follow ? 0 : bytes.size();
    }
    // Alt with a key: Esc followed by that key's bytes.
    const auto next = static_cast<unsigned char>(second);
    std::size_t length = utf8 && next >= 0x80 ? utf8_sequence_length(next) : 1;
    return std::min(bytes.size(), 1 + length);
}
