#pragma once
// The terminal's signals: the close event (the terminal went away),
// the ways out that must leave the terminal as it was found, a stop and
// resume, and a screen that changed under the program.

// Installs the handlers on the calling thread's behalf, which becomes the
// thread that handles them. end_routine runs when the terminal goes away.
void install_terminal_signal_handlers(void (*end_routine)());

// True once after the screen may have changed under the program (it was
// stopped and resumed, or resized); the next call is false until it
// changes again.
bool take_screen_change();
// Forgets a change seen so far: the screen is measured now.
void forget_screen_change();
