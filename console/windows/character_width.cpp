// Character width on Windows: the console shows one UTF-16 unit per cell, so
// only characters of the Basic Multilingual Plane can take one cell, and of
// those only the ones the system classifies as defined, not control, not
// combining and not full width.

#include <windows.h>

#include "console/character_width.hpp"

// The console takes its text as UTF-16 whatever its code page.
bool adopt_screen_character_set() { return true; }

bool is_single_column(char32_t code_point) {
    if (code_point > 0xFFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) return false;
    const WCHAR unit = static_cast<WCHAR>(code_point);
    WORD type1 = 0;
    WORD type3 = 0;
    if (!GetStringTypeW(CT_CTYPE1, &unit, 1, &type1) || !GetStringTypeW(CT_CTYPE3, &unit, 1, &type3))
        return false;
    if ((type1 & C1_DEFINED) == 0 || (type1 & C1_CNTRL) != 0) return false;
    if ((type3 & (C3_FULLWIDTH | C3_IDEOGRAPH | C3_HIRAGANA | C3_KATAKANA)) != 0) return false;
    // A precomposed letter ("\u00E9") is marked non-spacing too, for its
    // accent; only a mark that is no letter takes no cell of its own.
    return (type3 & C3_NONSPACING) == 0 || (type1 & C1_ALPHA) != 0;
}
