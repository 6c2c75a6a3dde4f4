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
};

ConsoleRecord console;
ConsoleBackend* backend = nullptr;
void (*endRoutine)() = nullptr;

ConsoleBackend& current_backend() {
    if (backend == nullptr) backend = &process_console_backend();
    return *backend;
}

// A screen that changed under the program (stopped and resumed, resized) is
// measured again, so the next output lands where the cursor really is.
void follow_screen_changes() { current_backend().refresh(console.snapshot); }

void new_line() {
    if (console.snapshot.is_screen) {
        follow_screen_changes();
        screen_new_line(console.snapshot.screen, current_backend().surface());
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
        screen_print(console.snapshot.screen, text_to_cells(text, console.snapshot.utf8, kMaxPrintCells),
                     current_backend().surface());
        return;
    }
    // A file or pipe gets the text's bytes themselves, as many as a screen
    // would show cells.
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
    if (key.empty() && in.keys_ended()) key = single_key(kKeyWithoutCharacter);
    return key;
}
