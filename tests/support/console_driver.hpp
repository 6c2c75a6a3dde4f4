#pragma once
// The Windows programs in a console of their own under wine, checked through
// the console API by the console driver (tests/wine/console_driver.cpp):
// a console set up as given, the driver's steps, and its report of the exit
// status and every cell. The expected screen comes from the console services
// run against the in-memory screen with the same set-up.

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "program_run.hpp"
#include "programs_under_test.hpp"

struct ConsoleSetup {
    int buffer_width = 80, buffer_height = 25;
    int left = 0, top = 0, right = 79, bottom = 24;  // the window
    int cursor_x = 0, cursor_y = 0;
    unsigned fill_attribute = 0x07;  // of the cells before the program starts
    unsigned attribute = 0x07;       // in effect when the program starts
    std::vector<std::pair<int, std::string>> rows;  // text at column 0, in the fill attribute
};

struct ConsoleScreen {
    std::vector<std::string> rows;   // each row's characters, trailing blanks cut
    std::vector<std::string> attrs;  // each row's attributes as runs, "1e*20 07*80"
    int cursor_x = -1, cursor_y = -1;
    bool operator==(const ConsoleScreen&) const = default;
};
void PrintTo(const ConsoleScreen& screen, std::ostream* os);

struct ConsoleReport {
    std::string exit;                // "0", or "none" when the program did not end
    std::vector<std::string> alive;  // "yes" or "no" for each "alive" step
    std::string failed;              // the step that failed, if any
    ConsoleScreen screen;
    std::string text;                // the whole report, for failure messages
};

// Runs program (a Windows program: "ferrowin.exe", "quorvel.exe") in a console
// set up as given: the driver's set-up steps, "run", then steps.
ConsoleReport run_in_console(const std::string& program, OpenAl library, const ConsoleSetup& setup,
                             const std::vector<std::string>& steps, const Environment& environment = {});

// What the program writes: texts given to print (false) or print line (true).
using ConsoleOutput = std::vector<std::pair<bool, std::string>>;

// The screen the console services leave when they write output into a
// console set up as given.
ConsoleScreen expected_screen(const ConsoleSetup& setup, const ConsoleOutput& output);

// The driver's key steps.
std::string key_press(int virtual_key, int scan_code, int character, int repeat = 1, unsigned state = 0);
std::string key_release(int virtual_key, int scan_code, int character);

// Whether the console driver's rows run (a Windows build was given).
bool console_driver_available();
