#include "console/console.hpp"

#include <string>
#include <string_view>

#include "console/console_backend.hpp"
#include "console/screen_model.hpp"
#include "console/text_cells.hpp"

namespace {

// The console's one record for the process.
struct ConsoleRecord {
    bool opened = false;
    ConsoleSnapshot snapshot;
    ScreenCursor cursor;
};

ConsoleRecord console;
ConsoleBackend* backend = nullptr;
void (*endRoutine)() = nullptr;

ConsoleBackend& current_backend() {
    if (backend == nullptr) backend = &terminal_console_backend();
    return *backend;
}

void take_cursor_from_snapshot() {
    console.cursor = ScreenCursor{console.snapshot.width, console.snapshot.height,
                                  console.snapshot.cursor_x, console.snapshot.cursor_y,
                                  console.snapshot.window_width};
}

// A screen that changed under the program (stopped and resumed, resized) is
// measured again, so the next output lands where the cursor really is.
void follow_screen_changes() {
    if (current_backend().refresh(console.snapshot)) take_cursor_from_snapshot();
}

void new_line() {
    if (console.snapshot.is_screen) {
        follow_screen_changes();
        screen_new_line(console.cursor, current_backend());
    } else {
        current_backend().write_stream("\n");
    }
}

}  // namespace

void use_console_backend(ConsoleBackend* replacement) {
    backend = replacement;
}

void set_end_routine(void (*routine)()) {
    endRoutine = routine;
}

int open_console() {
    if (console.opened) return 0;
    ConsoleBackend& out = current_backend();
    // The handler comes first, so that a signal while the terminal is being
    // taken over still gives it back.
    const int registered = out.register_close_handler(endRoutine);
    console.snapshot = out.attach();
    take_cursor_from_snapshot();
    console.opened = true;
    return registered;
}

void close_console() {
    if (!console.opened) return;
    console.opened = false;
    current_backend().detach();
}

void print(const char* text) {
    if (!console.opened || text == nullptr || text[0] == 0) return;
    if (console.snapshot.is_screen) {
        follow_screen_changes();
        screen_print(console.cursor, text_to_cells(text, console.snapshot.utf8, kMaxPrintCells),
                     current_backend());
        return;
    }
    // A file or pipe gets the text itself, its first 250 characters.
    current_backend().write_stream(std::string_view(text).substr(0, kMaxPrintCells));
}

void print_line(const char* text) {
    if (!console.opened) return;
    print(text);
    new_line();
}

KeyText poll_key() {
    if (!console.opened) return KeyText{};
    ConsoleBackend& in = current_backend();
    KeyText key = in.read_key();
    // No key can come after the end of the input: that end counts as a key
    // without a character, so a wait for a key ends (and a menu choice is 0).
    if (key.empty() && in.keys_ended()) key.chars[0] = static_cast<char>(255);
    return key;
}
