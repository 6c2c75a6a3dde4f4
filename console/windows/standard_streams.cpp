// Standard handles on Windows: one the process was started without is set to
// the NUL device, so the console services find an input that has ended and
// an output that takes everything, as on POSIX.

#include <windows.h>

#include <initializer_list>

#include "console/standard_streams.hpp"

void open_missing_standard_streams() {
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) continue;
        const HANDLE nul = CreateFileA("NUL", which == STD_INPUT_HANDLE ? GENERIC_READ : GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (nul != INVALID_HANDLE_VALUE) SetStdHandle(which, nul);
    }
}
