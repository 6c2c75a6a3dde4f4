#pragma once
// Turning a text into the cells it occupies on the screen. Every cell is one
// column wide, so the tracked cursor stays in step with the terminal's.
// Bytes that would control the terminal never pass: each becomes one visible
// cell. On a UTF-8 screen a well-formed, single-width character is one cell;
// a malformed sequence or a character of another width becomes one
// replacement cell. Elsewhere only printable ASCII passes, and every other
// byte shows as "?".

#include <cstddef>
#include <string>
#include <vector>

// One character cell: the character it shows. Each backend encodes it once,
// in the form its screen takes.
struct Cell {
    char32_t code_point = U' ';
};

// The cells of text (null counts as empty), at most max_cells of them.
std::vector<Cell> text_to_cells(const char* text, bool utf8, int max_cells);

// Appends code_point to out in UTF-8.
void append_utf8(std::string& out, char32_t code_point);

// The length of the UTF-8 sequence that lead begins (2 to 4), or 1 where
// lead begins none.
std::size_t utf8_sequence_length(unsigned char lead);
