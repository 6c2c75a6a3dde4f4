#include "console/posix/vt100_surface.hpp"

#include <unistd.h>

#include <algorithm>

#include "console/posix/descriptor_io.hpp"
#include "console/text_cells.hpp"

std::string cursor_to(int x, int y) {
    return "\x1b[" + std::to_string(std::max(y, 0) + 1) + ";" + std::to_string(std::max(x, 0) + 1) + "H";
}

void Vt100Surface::scroll_up(int bottom_row) {
    // Index (ESC D) on the bottom row moves the whole screen up one row and
    // brings in a blank row in the terminal's current colours.
    out_ += cursor_to(0, bottom_row) + "\033D";
}

void Vt100Surface::put_cells(int x, int y, const Cell* cells, int count) {
    out_ += cursor_to(x, y);
    for (int i = 0; i < count; ++i) append_utf8(out_, cells[i].code_point);
}

void Vt100Surface::place_cursor(int x, int y) { out_ += cursor_to(x, y); }

void Vt100Surface::commit() {
    write_fd(STDOUT_FILENO, out_);
    out_.clear();
}
