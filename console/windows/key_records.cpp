#include "console/windows/key_records.hpp"

KeyText read_key_record(HANDLE input) {
    KeyText key;
    DWORD pending = 0;
    if (!GetNumberOfConsoleInputEvents(input, &pending) || pending == 0) return key;
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(input, &record, 1, &read) || read == 0) return key;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return key;
    const auto character = static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
    const auto scan_code = static_cast<unsigned char>(record.Event.KeyEvent.wVirtualScanCode & 0xFF);
    if (character == 0 && scan_code == 0) return key;
    key.chars[0] = static_cast<char>(character == 0 ? kKeyWithoutCharacter : character);
    key.chars[1] = static_cast<char>(scan_code);  // 0 ends the text after one character
    return key;
}
