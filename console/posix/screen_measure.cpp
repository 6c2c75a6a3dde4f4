#include "console/posix/screen_measure.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "console/posix/descriptor_io.hpp"

namespace {

// The size assumed where the terminal tells none.
constexpr int kFallbackWidth = 80;
constexpr int kFallbackHeight = 24;

// The terminal's size, from its driver; failing that, where the cursor stops
// when sent to the far corner (and then back to back_to, where the cursor is
// known); failing that, the usual 80 by 24.
void measure_size(TerminalInput& input, ScreenGeometry& screen, const std::string& back_to) {
    screen = ScreenGeometry{};
    winsize size{};
    int rows = 0;
    int columns = 0;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        screen.width = size.ws_col;
        screen.height = size.ws_row;
    } else if (!back_to.empty()) {
        write_fd(STDOUT_FILENO, "\x1b[999;999H");
        if (input.ask_cursor(rows, columns)) {
            screen.width = columns;
            screen.height = rows;
        }
        write_fd(STDOUT_FILENO, back_to);
    }
    if (screen.width <= 0 || screen.height <= 0) {
        screen.width = kFallbackWidth;
        screen.height = kFallbackHeight;
    }
}

}  // namespace

void measure_screen(TerminalInput& input, Vt100Surface& surface, ScreenGeometry& screen) {
    int row = 0;
    int column = 0;
    const bool located = input.ask_cursor(row, column);
    measure_size(input, screen, located ? cursor_to(column - 1, row - 1) : std::string());
    if (located) {
        screen.x = std::min(column, screen.width) - 1;
        screen.y = std::min(row, screen.height) - 1;
        return;
    }
    screen.x = 0;
    screen.y = screen.height - 1;
    surface.scroll_up(screen.y);
    surface.place_cursor(screen.x, screen.y);
    surface.commit();
}
