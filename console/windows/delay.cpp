// Delay on Windows: Sleep, which nothing interrupts.

#include <windows.h>

#include "console/console.hpp"

void delay(uint32_t milliseconds) {
    Sleep(milliseconds);
}
