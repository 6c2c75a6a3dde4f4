#pragma once
// The frame both programs run from start to end: start-up, the device phase,
// the final wait or the silent exit, and the final steps with exit code 0.

struct ProgramDescription {
    const char* banner;           // first line of output
    void (*constant_setup)();     // program constants, before the console opens; may be null
    void (*job)();                // runs once with the chosen device's context current
    void (*close_files)();        // closes files the program still holds; part of the end
                                  // routine, so async-signal-safe; may be null
};

[[noreturn]] void run_program(const ProgramDescription& program);
