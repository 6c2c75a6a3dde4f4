#include "console/text_cells.hpp"

#include <cstdint>

#include "console/character_width.hpp"

namespace {

Cell make_cell(const char* bytes, int length) {
    Cell cell;
    for (int i = 0; i < length; ++i) cell.bytes[i] = bytes[i];
    cell.length = length;
    return cell;
}

Cell encode_utf8(char32_t code_point) {
    char out[4];
    int length;
    if (code_point < 0x80) {
        out[0] = static_cast<char>(code_point);
        length = 1;
    } else if (code_point < 0x800) {
        out[0] = static_cast<char>(0xC0 | (code_point >> 6));
        out[1] = static_cast<char>(0x80 | (code_point & 0x3F));
        length = 2;
    } else if (code_point < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code_point >> 12));
        out[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code_point & 0x3F));
        length = 3;
    } else {
        out[0] = static_cast<char>(0xF0 | (code_point >> 18));
        out[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (code_point & 0x3F));
        length = 4;
    }
    return make_cell(out, length);
}

// A control byte shows as its picture from the Control Pictures block
// (U+2400 to U+241F, and U+2421 for DEL): visible, one column, inert.
Cell control_picture(unsigned char byte) {
    return encode_utf8(byte == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + byte);
}

const Cell kReplacement = encode_utf8(0xFFFD);

// Decodes one well-formed UTF-8 sequence at text; returns its length, or 0
// when the bytes there do not form one (overlong forms, surrogates and values
// past U+10FFFF included).
int decode_utf8(const unsigned char* text, char32_t& code_point) {
    const unsigned char lead = text[0];
    int length;
    char32_t value;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2; value = lead & 0x1F; minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3; value = lead & 0x0F; minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4; value = lead & 0x07; minimum = 0x10000;
    } else {
        return 0;
    }
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
            cells.push_back(utf8 ? control_picture(byte) : make_cell("?", 1));
            ++p;
        } else if (byte < 0x80) {
            cells.push_back(make_cell(reinterpret_cast<const char*>(p), 1));
            ++p;
        } else if (!utf8) {
            // Without a UTF-8 locale the terminal's character set is unknown:
            // such a byte may be a C1 control, or half of a character that
            // shows in one cell where we would count two. Only ASCII is sure.
            cells.push_back(make_cell("?", 1));
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
                const bool one_column = is_single_column(code_point);
                cells.push_back(one_column ? make_cell(reinterpret_cast<const char*>(p), length)
                                           : kReplacement);
                p += length;
            }
        }
    }
    return cells;
}
