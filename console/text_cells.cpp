#include "console/text_cells.hpp"

#include <cstdint>

#include "console/character_width.hpp"

namespace {

// A control byte shows as its picture from the Control Pictures block
// (U+2400 to U+241F, and U+2421 for DEL): visible, one column, inert.
Cell control_picture(unsigned char byte) {
    return Cell{byte == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + byte};
}

constexpr Cell kReplacement{0xFFFD};
constexpr Cell kUnknown{U'?'};

// Decodes one well-formed UTF-8 sequence at text; returns its length, or 0
// when the bytes there do not form one (overlong forms, surrogates and values
// past U+10FFFF included).
int decode_utf8(const unsigned char* text, char32_t& code_point) {
    const unsigned char lead = text[0];
    const auto length = static_cast<int>(utf8_sequence_length(lead));
    static constexpr unsigned char kLeadBits[] = {0, 0, 0x1F, 0x0F, 0x07};
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 1) return 0;
    char32_t value = lead & kLeadBits[length];
    const char32_t minimum = kMinimum[length];
    for (int i = 1; i < length; ++i) {
        // A NUL ends the text, and it is no continuation byte either, so the
        // scan never runs past the terminator.
        if ((text[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (text[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    code_point = value;
    return length;
}

}  // namespace

std::vector<Cell> text_to_cells(const char* text, bool utf8, int max_cells) {
    std::vector<Cell> cells;
    if (text == nullptr) return cells;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0 && static_cast<int>(cells.size()) < max_cells) {
        const unsigned char byte = *p;
        if (byte < 0x20 || byte == 0x7F) {
            cells.push_back(utf8 ? control_picture(byte) : kUnknown);
            ++p;
        } else if (byte < 0x80) {
            cells.push_back(Cell{byte});
            ++p;
        } else if (!utf8) {
            // Without a UTF-8 locale the terminal's character set is unknown:
            // such a byte may be a C1 control, or half of a character that
            // shows in one cell where we would count two. Only ASCII is sure.
            cells.push_back(kUnknown);
            ++p;
        } else {
            char32_t code_point = 0;
            const int length = decode_utf8(p, code_point);
            if (length == 0) {
                cells.push_back(kReplacement);
                ++p;
            } else {
                // Only characters one column wide keep the cursor in step;
                // wide, zero-width and C1 control characters show as one
                // replacement cell instead.
                cells.push_back(is_single_column(code_point) ? Cell{code_point} : kReplacement);
                p += length;
            }
        }
    }
    return cells;
}

void append_utf8(std::string& out, char32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

std::size_t utf8_sequence_length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}
