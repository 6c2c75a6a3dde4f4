#pragma once
// Turning the bytes a terminal sends into keys.

#include <cstddef>
#include <string_view>

#include "console/key_text.hpp"

// The byte that begins an escape sequence, and the key Esc sends alone.
inline constexpr char kEsc = 0x1B;

// Decodes the first key of bytes (not empty). Returns how many bytes it
// took. A key with a character gives that character (the lead byte of a
// UTF-8 character); a key sent as an escape sequence (arrows, function keys,
// Alt combinations) gives kKeyWithoutCharacter; a lone Esc gives kEsc. When
// more_may_follow is set and the bytes end inside a sequence that may still
// be arriving, returns 0: the caller waits a moment and asks again.
std::size_t decode_terminal_key(std::string_view bytes, bool utf8, bool more_may_follow, KeyText& key);
