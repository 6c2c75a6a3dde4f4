#include "console/key_decoder.hpp"

#include <algorithm>

namespace {

constexpr char kEsc = 0x1B;

KeyText single(unsigned char byte) {
    KeyText key;
    key.chars[0] = static_cast<char>(byte);
    return key;
}

// Length of the UTF-8 sequence that begins with lead, or 1 where lead begins none.
std::size_t utf8_length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::size_t decode_terminal_key(std::string_view bytes, bool utf8, bool more_may_follow, KeyText& key) {
    if (bytes.empty()) return 0;
    const auto lead = static_cast<unsigned char>(bytes[0]);

    if (lead != kEsc) {
        // Ctrl+@ sends NUL: a key, but without a character.
        if (lead == 0) {
            key = single(255);
            return 1;
        }
        key = single(lead);
        if (!utf8 || lead < 0x80) return 1;
        std::size_t length = utf8_length(lead);
        std::size_t taken = 1;
        while (taken < length && taken < bytes.size() &&
               (static_cast<unsigned char>(bytes[taken]) & 0xC0) == 0x80)
            ++taken;
        if (taken < length && taken == bytes.size() && more_may_follow) return 0;
        return taken;
    }

    if (bytes.size() == 1) {
        if (more_may_follow) return 0;
        key = single(27);
        return 1;
    }
    const char second = bytes[1];
    if (second == kEsc) {  // Esc pressed twice: the first one stands alone
        key = single(27);
        return 1;
    }
    key = single(255);
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
    std::size_t length = utf8 && next >= 0x80 ? utf8_length(next) : 1;
    return std::min(bytes.size(), 1 + length);
}

bool take_cursor_report(std::string& bytes, int& row, int& column) {
    for (std::size_t start = bytes.find(kEsc); start != std::string::npos;
         start = bytes.find(kEsc, start + 1)) {
        std::size_t i = start + 1;
        if (i >= bytes.size() || bytes[i] != '[') continue;
        ++i;
        long values[2] = {0, 0};
        bool ok = true;
        for (int field = 0; field < 2 && ok; ++field) {
            const std::size_t digits_start = i;
            while (i < bytes.size() && is_digit(bytes[i]) && i - digits_start < 6) {
                values[field] = values[field] * 10 + (bytes[i] - '0');
                ++i;
            }
            if (i == digits_start || i >= bytes.size()) { ok = false; break; }
            const char expected = field == 0 ? ';' : 'R';
            if (bytes[i] != expected) { ok = false; break; }
            ++i;
        }
        if (!ok) continue;
        row = static_cast<int>(values[0]);
        column = static_cast<int>(values[1]);
        bytes.erase(start, i - start);
        return true;
    }
    return false;
}

bool is_cursor_report_start(std::string_view bytes) {
    if (bytes.empty() || bytes[0] != kEsc) return false;
    if (bytes.size() == 1) return true;
    if (bytes[1] != '[') return false;
    std::size_t i = 2;
    for (int field = 0; field < 2; ++field) {
        const std::size_t digits_start = i;
        while (i < bytes.size() && is_digit(bytes[i]) && i - digits_start < 6) ++i;
        if (i == bytes.size()) return true;
        if (i == digits_start || bytes[i] != (field == 0 ? ';' : 'R')) return false;
        ++i;
    }
    return false;  // the whole report
}
