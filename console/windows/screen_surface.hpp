#pragma once
// The Windows console's screen buffer, written cell by cell through the
// console API.
//
// Names reach the screen as UTF-16 through the W function, one unit per
// cell: OpenAL Soft reports them in UTF-8, which the console's code page
// would show as several wrong cells each.

#include <windows.h>

#include "console/screen_model.hpp"

class ConsoleSurface final : public ScreenSurface {
public:
    // Writes to the screen buffer at output, which info describes as the
    // console is taken over; the buffer's attribute then is the one every
    // cell is written and scrolled in with.
    void reset(HANDLE output, const CONSOLE_SCREEN_BUFFER_INFO& info);

    void scroll_up(int bottom_row) override;
    void put_cells(int x, int y, const Cell* cells, int count) override;
    void place_cursor(int x, int y) override;
    // Every call above has reached the console when it returns.
    void commit() override {}

private:
    HANDLE output_ = INVALID_HANDLE_VALUE;
    int buffer_width_ = 0;
    int buffer_height_ = 0;
    WORD attribute_ = 0;
};
