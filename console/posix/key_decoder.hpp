#pragma once
// Turning the bytes a terminal sends into keys, and picking the answer to a
// cursor-position request out of the keys typed around it.

#include <cstddef>
#include <string>
#include <string_view>

#include "console/key_text.hpp"

// Decodes the first key of bytes (not empty). Returns how many bytes it
// took. A key with a character gives that character (the lead byte of a
// UTF-8 character); a key sent as an escape sequence (arrows, function keys,
// Alt combinations) gives kKeyWithoutCharacter; a lone Esc gives 27. When
// more_may_follow is set and the bytes end inside a sequence that may still
// be arriving, returns 0: the caller waits a moment and asks again.
std::size_t decode_terminal_key(std::string_view bytes, bool utf8, bool more_may_follow, KeyText& key);

// Finds the first complete cursor-position report (ESC [ row ; column R) in
// bytes, removes it, and gives its 1-based row and column. Everything around
// it stays in bytes, in order: those are keys typed ahead.
bool take_cursor_report(std::string& bytes, int& row, int& column);

// True when bytes are the beginning of a cursor-position report but not yet
// all of it (ESC, ESC [, ESC [ 12 ; 4 and so on): the rest may still be on
// its way.
bool is_cursor_report_start(std::string_view bytes);
