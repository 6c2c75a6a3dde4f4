#include "report_lines.hpp"

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

std::string expected_output(const std::string& deviceName, const Lines& report) {
    std::string text = "Ferrowin Application\n\nSelect OpenAL device:\n1. " + deviceName +
                       " (DEFAULT)\n\nOpened " + deviceName + " Device\n";
    for (const std::string& line : report) text += line + "\n";
    return text + "\nPress any key to exit";
}

ProgramRun run_ferrowin(const Environment& environment) {
    return run_program_with_input(FERROWIN_PATH, environment, "1x");
}
