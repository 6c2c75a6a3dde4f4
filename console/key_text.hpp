#pragma once
// The result of poll key, and the byte that stands for a key without a
// character.

// The first character of a key that has none of its own: arrows, function
// keys, Shift alone, Ctrl+@ (NUL), and the end of the keys' input.
inline constexpr unsigned char kKeyWithoutCharacter = 255;

// The result of poll key: 0, 1 or 2 characters, NUL-terminated. Keys without a
// character have kKeyWithoutCharacter as their first character.
struct KeyText {
    char chars[3] = {0, 0, 0};
    bool empty() const { return chars[0] == 0; }
    unsigned char first() const { return static_cast<unsigned char>(chars[0]); }
};

// A key of one character, the byte given.
inline KeyText single_key(unsigned char byte) {
    KeyText key;
    key.chars[0] = static_cast<char>(byte);
    return key;
}
