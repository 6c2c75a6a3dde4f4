#pragma once
// Expected ferrowin output, written out line by line, and the runs that
// produce the actual output.

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "efxreport/efx_probes.hpp"
#include "program_run.hpp"

using Lines = std::vector<std::string>;

// The effect and filter sections with every type accepted: empty line,
// header, one row per type of the report's own tables.
// (Inline, so that the tables of cases built from them at start-up in every
// test file find them made.)
Lines all_yes(const std::string& header, std::span<const TypeRow> table);
inline const Lines kEffectsAllYes = all_yes("Effects Supported: -", effectTypeTable);
inline const Lines kFiltersAllYes = all_yes("Filters Supported: -", filterTypeTable);

// Each name field of those tables with the name openal-info gives the type
// (the field trimmed, "Low Pass" as "Low-pass").
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

