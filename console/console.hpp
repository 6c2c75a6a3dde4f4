#pragma once
// Console services: the only way between the programs and their user.
//
// Text goes to the screen at a cursor that this module tracks itself; it is
// wrapped at the screen width and the screen scrolls up when the cursor would
// leave it. Keys are read without waiting. The close handler runs the
// program's end routine when the terminal goes away.
//
// A text is a NUL-terminated run of 8-bit characters; a null text counts as
// empty.

#include <cstdint>

#include "console/key_text.hpp"

class ConsoleBackend;

// Longest part of one text that print shows; the rest is dropped.
inline constexpr int kMaxPrintCells = 250;

// Opens the console: registers the close handler, then takes over the
// terminal. Returns what the close handler's registration gave (nonzero on
// success); 0 when the console was open already (then nothing changes: no
// new snapshot, no second registration).
int open_console();
void close_console();
void print(const char* text);
void print_line(const char* text);
KeyText poll_key();
void delay(uint32_t milliseconds);

// The routine that the close handler runs when the terminal goes away. It
// must be async-signal-safe: it may run from a signal handler, or on the
// Windows console's handler thread while the main thread is held.
void set_end_routine(void (*end_routine)());

// Where the console services go. The default is the process's terminal
// (standard input and output); tests put an in-memory screen here. Must be
// called while the console is closed.
void use_console_backend(ConsoleBackend* backend);
