#include "report_lines.hpp"

#include <algorithm>

#include "programs_under_test.hpp"

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> openal_info_names() {
    std::vector<std::pair<std::string, std::string>> names;
    for (const Lines& section : {kEffectsAllYes, kFiltersAllYes}) {
        for (const std::string& line : section) {
            if (!line.ends_with("YES")) continue;
            const std::string nameField = line.substr(0, line.size() - 3);
            std::string name = trimmed(nameField);
            if (const auto pass = name.find(" Pass"); pass != std::string::npos) name.replace(pass, 5, "-pass");
            names.emplace_back(nameField, name);
        }
    }
    return names;
}

Lines refused(Lines lines, const std::vector<std::string>& types) {
    for (std::string& line : lines) {
        if (!line.ends_with("YES")) continue;
        const std::string field = line.substr(0, line.size() - 3);
        if (std::any_of(types.begin(), types.end(), [&](const std::string& t) { return trimmed(t) == trimmed(field); }))
            line = field + "NO";
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

