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

void new_line() {
    if (console.snapshot.is_screen)
        screen_new_line(console.cursor, current_backend());
    else
        current_backend().write_stream("\n");
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
    console.cursor = ScreenCursor{console.snapshot.width, console.snapshot.height,
                                  console.snapshot.cursor_x, console.snapshot.cursor_y,
                                  console.snapshot.window_width};
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
    return current_backend().read_key();
}
