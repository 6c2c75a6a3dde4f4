#pragma once
// Whether a character takes exactly one column where the platform shows it.
// Wide (East Asian), zero-width (combining) and control characters do not,
// and neither does a character the platform does not know.

bool is_single_column(char32_t code_point);

// Takes the screen's character set from the environment and returns whether
// the screen shows UTF-8. is_single_column answers by that character set, so
// this comes first, once, as the console is opened. On POSIX it sets the
// locale's character type (LC_CTYPE) from the environment.
bool adopt_screen_character_set();
