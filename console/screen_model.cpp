#include "console/screen_model.hpp"

#include <algorithm>
#include <cstdint>

namespace {

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

void screen_print(ScreenGeometry& screen, const std::vector<Cell>& cells, ScreenSurface& surface) {
    const int64_t n = static_cast<int64_t>(cells.size());
    if (n == 0) return;
    const int64_t width = std::max(screen.width, 1);
    const int64_t right = (screen.window_width > 0 ? screen.window_width : width) - 1;
    const int64_t bottom = std::max(screen.height, 1) - 1;
    int64_t x = screen.x;
    int64_t y = screen.y;

    // Room check: when the text does not stay left of the last column, scroll
    // until everything up to the cell before the window's last one can take it.
    if (x + n > right) {
        int64_t room = (bottom - y) * (right + 1) + (right - x);
        while (room < n) {
            surface.scroll_up(static_cast<int>(bottom));
            --y;
            room += right + 1;
        }
    }

    // Write row by row, wrapping at the screen width. Rows above the screen
    // (a screen smaller than the text) are skipped.
    int64_t written = 0;
    int64_t row = y;
    int64_t column = x;
    while (written < n) {
        const int64_t count = std::min(n - written, width - column);
        if (row >= 0 && row <= bottom)
            surface.put_cells(static_cast<int>(column), static_cast<int>(row),
                              cells.data() + written, static_cast<int>(count));
        written += count;
        column = 0;
        ++row;
    }

    const int64_t position = y * width + x + n;
    screen.y = static_cast<int>(floor_div(position, width));
    screen.x = static_cast<int>(position - floor_div(position, width) * width);
    surface.place_cursor(screen.x, screen.y);
    surface.commit();
}

void screen_new_line(ScreenGeometry& screen, ScreenSurface& surface) {
    const int bottom = std::max(screen.height, 1) - 1;
    screen.x = 0;
    if (screen.y < bottom)
        ++screen.y;
    else
        surface.scroll_up(bottom);
    surface.place_cursor(screen.x, screen.y);
    surface.commit();
}
