#pragma once
// What the console services need from the platform: a character-cell screen
// of known size (or a plain output stream), non-blocking keys, and a close
// notification. The Linux terminal and the Windows console are the two
// implementations; tests use an in-memory screen.

#include <string_view>

#include "console/console.hpp"
#include "console/screen_model.hpp"

// What the console knows of its output: whether it is a screen, the
// screen's character set, and the screen's size and tracked cursor, which
// print and new line move on.
struct ConsoleSnapshot {
    bool is_screen = false;  // false: output is a file or pipe
    bool utf8 = false;       // the screen shows UTF-8 text
    ScreenGeometry screen;   // size (a Windows console: the buffer's width, the window's bottom) and cursor
};

class ConsoleBackend {
public:
    virtual ~ConsoleBackend() = default;
    // Take over the terminal: raw keys, learn its size and cursor position.
    virtual ConsoleSnapshot attach() = 0;
    // Give the terminal back exactly as attach found it.
    virtual void detach() = 0;
    // Arrange for end_routine to run when the terminal goes away. Returns
    // nonzero on success.
    virtual int register_close_handler(void (*end_routine)()) = 0;
    // Output that is not a screen: bytes as they are.
    virtual void write_stream(std::string_view bytes) = 0;
    // One key if one is waiting, else the empty text. Never waits.
    virtual KeyText read_key() = 0;
    // True once the keys' input has ended for good (a file or pipe at its
    // end, or no input at all): read_key can never give a key again. Poll
    // key then reports a key without a character, so no wait for a key
    // lasts forever. A terminal never ends this way.
    virtual bool keys_ended() = 0;
    // When the screen may have changed under the program since the last
    // snapshot (it was stopped and resumed, or resized), takes its size and
    // cursor into snapshot again. Called before each output to a screen.
    virtual void refresh(ConsoleSnapshot& snapshot) { (void)snapshot; }
    // The screen that print and new line write to when the output is one.
    virtual ScreenSurface& surface() = 0;
};

// The backend for the process's own console: the Linux terminal, or the
// Windows console, whichever the build is for.
ConsoleBackend& process_console_backend();
