#include "console/windows/screen_surface.hpp"

#include <string>

namespace {

// The UTF-16 unit of a cell. Cells hold characters of the Basic Multilingual
// Plane only (text_cells replaces every other), so one unit is enough;
// anything else shows as U+FFFD.
WCHAR cell_unit(const Cell& cell) {
    return cell.code_point <= 0xFFFF ? static_cast<WCHAR>(cell.code_point) : WCHAR{0xFFFD};
}

}  // namespace

void ConsoleSurface::reset(HANDLE output, const CONSOLE_SCREEN_BUFFER_INFO& info) {
    output_ = output;
    buffer_width_ = info.dwSize.X;
    buffer_height_ = info.dwSize.Y;
    attribute_ = info.wAttributes;
}

// The whole buffer moves up one row; its last row becomes blank cells in the
// attribute the console had at the start.
void ConsoleSurface::scroll_up(int) {
    const SMALL_RECT rows{0, 1, static_cast<SHORT>(buffer_width_ - 1), static_cast<SHORT>(buffer_height_ - 1)};
    CHAR_INFO blank;
    blank.Char.AsciiChar = ' ';
    blank.Attributes = attribute_;
    ScrollConsoleScreenBufferA(output_, &rows, nullptr, COORD{0, 0}, &blank);
}

void ConsoleSurface::put_cells(int x, int y, const Cell* cells, int count) {
    if (count <= 0) return;
    std::wstring units(static_cast<size_t>(count), L' ');
    for (int i = 0; i < count; ++i) units[static_cast<size_t>(i)] = cell_unit(cells[i]);
    const COORD at{static_cast<SHORT>(x), static_cast<SHORT>(y)};
    DWORD done = 0;
    FillConsoleOutputAttribute(output_, attribute_, static_cast<DWORD>(count), at, &done);
    WriteConsoleOutputCharacterW(output_, units.data(), static_cast<DWORD>(count), at, &done);
}

void ConsoleSurface::place_cursor(int x, int y) {
    SetConsoleCursorPosition(output_, COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
}
