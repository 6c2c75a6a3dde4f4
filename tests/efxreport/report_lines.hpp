#pragma once
// Expected ferrowin output, written out line by line, and the runs that
// produce the actual output.

#include <string>
#include <vector>

#include "program_run.hpp"

using Lines = std::vector<std::string>;

// The effect section with every type accepted: empty line, header, 13 rows.
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

// The filter section with every type accepted: empty line, header, 3 rows.
inline const Lines kFiltersAllYes = {
    "",
    "Filters Supported: -",
    " Low Pass          YES",
    " High Pass         YES",
    " Band Pass         YES",
};

// lines with the result of every row whose name field is listed turned to "NO".
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

