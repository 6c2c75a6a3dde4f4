#include "console/posix/key_decoder.hpp"

#include <algorithm>

#include "console/text_cells.hpp"

namespace {

constexpr char kEsc = 0x1B;
// More digits than any screen has rows or columns: no report.
constexpr std::size_t kMaxReportDigits = 6;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

enum class Report { none, partial, complete };

// Reads a cursor-position report (ESC [ row ; column R) at bytes[start]:
// complete (with its end, row and column), partial (the bytes end inside
// one), or none.
Report parse_report(std::string_view bytes, std::size_t start, std::size_t& end, long (&values)[2]) {
    std::size_t i = start;
    if (i >= bytes.size() || bytes[i] != kEsc) return Report::none;
    if (++i == bytes.size()) return Report::partial;
    if (bytes[i++] != '[') return Report::none;
    for (int field = 0; field < 2; ++field) {
        const std::size_t digits_start = i;
        values[field] = 0;
        while (i < bytes.size() && is_digit(bytes[i]) && i - digits_start < kMaxReportDigits) {
            values[field] = values[field] * 10 + (bytes[i] - '0');
            ++i;
        }
        if (i == bytes.size()) return Report::partial;
        if (i == digits_start || bytes[i] != (field == 0 ? ';' : 'R')) return Report::none;
        ++i;
    }
    end = i;
    return Report::complete;
}

}  // namespace

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
        key = single_key(27);
        return 1;
    }
    const char second = bytes[1];
    if (second == kEsc) {  // Esc pressed twice: the first one stands alone
        key = single_key(27);
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

bool take_cursor_report(std::string& bytes, int& row, int& column) {
    for (std::size_t start = bytes.find(kEsc); start != std::string::npos;
         start = bytes.find(kEsc, start + 1)) {
        std::size_t end = 0;
        long values[2] = {0, 0};
        if (parse_report(bytes, start, end, values) != Report::complete) continue;
        row = static_cast<int>(values[0]);
        column = static_cast<int>(values[1]);
        bytes.erase(start, end - start);
        return true;
    }
    return false;
}

bool is_cursor_report_start(std::string_view bytes) {
    std::size_t end = 0;
    long values[2] = {0, 0};
    return parse_report(bytes, 0, end, values) == Report::partial;
}
