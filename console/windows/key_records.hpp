#pragma once
// Keys from the Windows console's input records.

#include <windows.h>

#include "console/key_text.hpp"

// Takes one input record from the console input at input, if one is
// waiting, and gives its key: the character (kKeyWithoutCharacter for a key
// without one) and the scan code. Every other record (mouse, focus, menu,
// buffer size, a key's release) is used up without a key. Never waits.
KeyText read_key_record(HANDLE input);
