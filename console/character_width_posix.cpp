// Character width on POSIX: the C library's wcwidth under the locale that
// the terminal backend set from the environment.

#include <cwchar>

#include "console/character_width.hpp"

bool is_single_column(char32_t code_point) {
    return wcwidth(static_cast<wchar_t>(code_point)) == 1;
}
