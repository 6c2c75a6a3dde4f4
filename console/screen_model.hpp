#pragma once
// The screen logic of print and new line, separate from any terminal: the
// tracked cursor, the room check, wrapping at the screen width, scrolling,
// and the cursor advance. A ScreenSurface carries out what it decides.

#include <cstdint>
#include <string>
#include <vector>

#include "console/text_cells.hpp"

class ScreenSurface {
public:
    virtual ~ScreenSurface() = default;
    // Move every row up by one; the bottom row becomes blank. bottom_row is
    // the window's last row, where a terminal scrolls from; a console buffer
    // scrolls as a whole.
    virtual void scroll_up(int bottom_row) = 0;
    // Write cells along row y from column x; the caller never passes the
    // end of the row.
    virtual void put_cells(int x, int y, const Cell* cells, int count) = 0;
    // Show the cursor at (x, y).
    virtual void place_cursor(int x, int y) = 0;
    // Everything since the last commit reaches the screen now.
    virtual void commit() = 0;
};

// The screen's size and the place of the cursor that print and new line
// track on it.
struct ScreenGeometry {
    int width = 0;   // cells per row: where text wraps and the cursor advances
    int height = 0;  // rows; the bottom row is height - 1
    int x = 0;       // the cursor's column, from 0
    int y = 0;       // the cursor's row, from 0
    // Cells per row that the room check counts: the visible window's width
    // where it is narrower than the rows (a Windows console buffer wider
    // than its window); 0 means the same as width.
    int window_width = 0;
};

// Writes the cells at the screen's cursor, scrolling first when they would not fit,
// and advances the cursor past them.
void screen_print(ScreenGeometry& screen, const std::vector<Cell>& cells, ScreenSurface& surface);
// Moves the cursor to column 0 of the next row, scrolling on the bottom row.
void screen_new_line(ScreenGeometry& screen, ScreenSurface& surface);
