#include "report_lines.hpp"

#include "programs_under_test.hpp"

Lines refused(Lines lines, const std::vector<std::string>& nameFields) {
    for (std::string& line : lines) {
        for (const std::string& field : nameFields) {
            if (line == field + "YES") line = field + "NO";
        }
    }
    return lines;
}

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Lines expected_lines(const std::string& deviceName, const Lines& report) {
    return join({{"Ferrowin Application", "", "Select OpenAL device:",
                  "1. " + deviceName + " (DEFAULT)", "", "Opened " + deviceName + " Device"},
                 report,
                 {"", "Press any key to exit"}});
}

std::string expected_output(const std::string& deviceName, const Lines& report) {
    const Lines lines = expected_lines(deviceName, report);
    std::string text;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) text += lines[i] + "\n";
    return text + lines.back();
}

ProgramRun run_ferrowin(const Environment& environment, const std::string& platform) {
    return run_program_with_input(program_command(program_on(platform, "ferrowin"), OpenAl::stand_in),
                                  environment, "1x");
}

