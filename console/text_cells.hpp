#pragma once
// Turning a text into the cells it occupies on the screen. Every cell is one
// column wide, so the tracked cursor stays in step with the terminal's.
// Bytes that would control the terminal never pass: each becomes one visible
// cell. On a UTF-8 screen a well-formed, single-width character is one cell;
// a malformed sequence or a character of another width becomes one
// replacement cell. Elsewhere only printable ASCII passes, and every other
// byte shows as "?".

#include <string>
#include <vector>

struct Cell {
    char bytes[5] = {0, 0, 0, 0, 0};  // what to send for this cell, NUL-terminated
    int length = 0;
};

// The cells of text (null counts as empty), at most max_cells of them.
std::vector<Cell> text_to_cells(const char* text, bool utf8, int max_cells);
