#pragma once
// The Linux terminal's screen, driven with VT100 cursor and scroll sequences
// on standard output. Everything of one update is composed in one buffer and
// written at the commit, so the screen never shows half of it.

#include <string>

#include "console/screen_model.hpp"

// The sequence that moves the cursor to column x, row y (both from 0).
std::string cursor_to(int x, int y);

class Vt100Surface final : public ScreenSurface {
public:
    void scroll_up(int bottom_row) override;
    void put_cells(int x, int y, const Cell* cells, int count) override;
    void place_cursor(int x, int y) override;
    void commit() override;

private:
    std::string out_;
};
