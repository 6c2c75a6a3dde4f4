#pragma once
// Expected ferrowin output, written out line by line, and the runs that
// produce the actual output.

#include <string>
#include <utility>
#include <vector>

#include "program_run.hpp"

using Lines = std::vector<std::string>;

// The effect and filter sections with every type accepted, as ferrowin
// prints them: empty line, header, one row per type in report order.
// (Inline, so that the tables of cases built from them at start-up in every
// test file find them made.)
inline const Lines kEffectsAllYes = {
    "",
    "Effects Supported: -",
    " Reverb            YES",
    " EAX Reverb        YES",
    " Chorus            YES",
    " Distortion        YES",
    " Echo              YES",
    " Flanger           YES",
    " Frequency Shifter YES",
    " Vocal Morpher     YES",
    " Pitch Shifter     YES",
    " Ring Modulator    YES",
    " Autowah           YES",
    " Compressor        YES",
    " Equalizer         YES",
};
inline const Lines kFiltersAllYes = {
    "",
    "Filters Supported: -",
    " Low Pass          YES",
    " High Pass         YES",
    " Band Pass         YES",
};

// The name field of each row of those sections with the name openal-info
// gives the type (the field trimmed, "Low Pass" as "Low-pass").
std::vector<std::pair<std::string, std::string>> openal_info_names();

// lines with the result of every row whose type is listed (by its name, or
// by its padded name field) turned to "NO".
Lines refused(Lines lines, const std::vector<std::string>& nameFields);

// Concatenation of report parts.
Lines join(std::initializer_list<Lines> parts);

// Every line of a ferrowin run that picks the only device, deviceName (the
// default one), prints report after the device-opened line, and ends in the
// final wait; the last line is "Press any key to exit" without line end.
Lines expected_lines(const std::string& deviceName, const Lines& report);

// The same as one text, line ends included.
std::string expected_output(const std::string& deviceName, const Lines& report);

// Runs ferrowin of platform against the stand-in OpenAL (environment from
// its sandbox) with keys on a pipe: "1" for the menu, a key for the final wait.
ProgramRun run_ferrowin(const Environment& environment, const std::string& platform = "linux");

