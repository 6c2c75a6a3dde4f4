#pragma once
// The Linux terminal's modes: raw keys while the console is open, and the
// settings it had before given back on every way out, from a signal handler
// too.

// Saves the settings of the terminal at fd and sets it raw: keys one at a
// time, unechoed and unedited. False when fd is no terminal.
bool enter_raw_mode(int fd);
// Gives the saved settings back for good.
void leave_raw_mode();

// For the signal handlers (async-signal-safe): whether raw mode is on, the
// saved settings given back for now, and raw mode taken again.
bool raw_mode_active();
void restore_saved_mode();
void reapply_raw_mode();
