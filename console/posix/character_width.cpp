// Character width on POSIX: the C library's wcwidth under the character type
// of the environment's locale.

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <cwchar>

#include "console/character_width.hpp"

bool adopt_screen_character_set() {
    std::setlocale(LC_CTYPE, "");
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

bool is_single_column(char32_t code_point) {
    return wcwidth(static_cast<wchar_t>(code_point)) == 1;
}
