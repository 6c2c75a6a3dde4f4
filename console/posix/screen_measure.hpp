#pragma once
// Measuring the Linux terminal's screen: its size from the terminal driver,
// or from where the cursor stops when sent to the far corner, or the usual
// 80 by 24; the cursor's place from the terminal's answer to the cursor
// query, or, where the terminal does not tell, a fresh bottom row.

#include "console/posix/terminal_input.hpp"
#include "console/posix/vt100_surface.hpp"
#include "console/screen_model.hpp"

// Takes the screen's size and the cursor's place into screen. Where the
// terminal does not tell where the cursor is, the cursor starts on a fresh
// bottom row, made on surface by moving what is on the screen up rather
// than writing over it.
void measure_screen(TerminalInput& input, Vt100Surface& surface, ScreenGeometry& screen);
