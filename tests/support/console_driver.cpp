#include "console_driver.hpp"

#include <clocale>
#include <sstream>

#include "console/console.hpp"
#include "memory_screen.hpp"

namespace {

const std::string kBinDir = WINDOWS_BIN_DIR;

// A path of this machine as the programs under wine see it (drive Z: is /).
std::string windows_path(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x", value);
    return text;
}

}  // namespace

void PrintTo(const ConsoleScreen& screen, std::ostream* os) {
    *os << "cursor " << screen.cursor_x << " " << screen.cursor_y << "\n";
    for (size_t y = 0; y < screen.rows.size(); ++y)
        *os << "row " << y << " " << screen.rows[y] << "\nattrs " << y << " "
            << (y < screen.attrs.size() ? screen.attrs[y] : "") << "\n";
}

bool console_driver_available() { return !kBinDir.empty(); }

std::string key_press(int virtual_key, int scan_code, int character, int repeat, unsigned state) {
    return "key down " + std::to_string(virtual_key) + " " + std::to_string(scan_code) + " " +
           std::to_string(character) + " " + std::to_string(repeat) + " " + std::to_string(state);
}

std::string key_release(int virtual_key, int scan_code, int character) {
    return "key up " + std::to_string(virtual_key) + " " + std::to_string(scan_code) + " " +
           std::to_string(character) + " 1 0";
}

ConsoleReport run_in_console(const std::string& program, OpenAl library, const ConsoleSetup& s,
                             const std::vector<std::string>& steps, const Environment& environment) {
    const std::string folder = kBinDir + (library == OpenAl::stand_in ? "/fakeal/" : "/");
    std::vector<std::string> arguments = {
        "buffer " + std::to_string(s.buffer_width) + " " + std::to_string(s.buffer_height),
        "fill " + hex(s.fill_attribute)};
    for (const auto& [row, text] : s.rows)
        arguments.push_back("text 0 " + std::to_string(row) + " " + hex(s.fill_attribute) + " " + text);
    arguments.push_back("cursor " + std::to_string(s.cursor_x) + " " + std::to_string(s.cursor_y));
    arguments.push_back("window " + std::to_string(s.left) + " " + std::to_string(s.top) + " " +
                        std::to_string(s.right) + " " + std::to_string(s.bottom));
    arguments.push_back("attr " + hex(s.attribute));
    arguments.push_back("run " + windows_path(folder + program));
    arguments.insert(arguments.end(), steps.begin(), steps.end());

    const ProgramRun run = run_program_with_input(std::string(WINE_LAUNCHER_DIR) + "/openal/console_driver",
                                                  environment, "", 90, "", arguments);
    ConsoleReport report;
    report.text = run.output;
    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        const std::string rest = line.size() > word.size() + 1 ? line.substr(word.size() + 1) : "";
        if (word == "exit") report.exit = rest;
        else if (word == "alive") report.alive.push_back(rest);
        else if (word == "failed") report.failed = rest;
        else if (word == "cursor") fields >> report.screen.cursor_x >> report.screen.cursor_y;
        else if (word == "row" || word == "attrs") {
            const size_t space = rest.find(' ');
            (word == "row" ? report.screen.rows : report.screen.attrs)
                .push_back(space == std::string::npos ? "" : rest.substr(space + 1));
        }
    }
    return report;
}

ConsoleScreen expected_screen(const ConsoleSetup& s, const ConsoleOutput& output) {
    // The window's bottom row is the screen's last; the buffer's rows below
    // it scroll with the rest.
    std::setlocale(LC_CTYPE, "C.UTF-8");  // names in UTF-8, as the Windows console shows them
    MemoryScreen memory(s.buffer_width, s.bottom + 1, s.cursor_x, s.cursor_y, true, s.right + 1, s.buffer_height);
    memory.attribute = s.fill_attribute;
    for (int y = 0; y < memory.rows(); ++y) memory.put_text(0, y, std::string(static_cast<size_t>(s.buffer_width), ' '));
    for (const auto& [row, text] : s.rows) memory.put_text(0, row, text);
    memory.attribute = s.attribute;
    use_console_backend(&memory);
    open_console();
    for (const auto& [line, text] : output) line ? print_line(text.c_str()) : print(text.c_str());
    close_console();
    use_console_backend(nullptr);

    ConsoleScreen screen;
    for (int y = 0; y < memory.rows(); ++y) {
        screen.rows.push_back(memory.row(y));
        screen.attrs.push_back(memory.attribute_runs(y));
    }
    screen.cursor_x = memory.visible_x;
    screen.cursor_y = memory.visible_y;
    return screen;
}
