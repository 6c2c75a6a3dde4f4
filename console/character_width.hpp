#pragma once
// Whether a character takes exactly one column where the platform shows it.
// Wide (East Asian), zero-width (combining) and control characters do not,
// and neither does a character the platform does not know.

bool is_single_column(char32_t code_point);
