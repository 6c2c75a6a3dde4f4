#include "programs_under_test.hpp"

namespace {

const std::string kWineLaunchers = WINE_LAUNCHER_DIR;

}  // namespace

std::vector<std::string> platforms_under_test() {
    if (kWineLaunchers.empty()) return {"linux"};
    return {"linux", "windows"};
}

std::vector<std::string> programs_under_test() {
    std::vector<std::string> programs;
    for (const std::string& platform : platforms_under_test())
        for (const char* program : {"quorvel", "ferrowin"}) programs.push_back(program_on(platform, program));
    return programs;
}

std::string program_on(const std::string& platform, const std::string& program) {
    return platform == "windows" ? program + ".exe" : program;
}

bool is_windows_program(const std::string& program) { return program.ends_with(".exe"); }

bool is_quorvel(const std::string& program) { return program.starts_with("quorvel"); }

std::string program_command(const std::string& program, OpenAl library) {
    if (is_windows_program(program)) {
        const std::string variant = library == OpenAl::stand_in ? "/fakeal/" : "/openal/";
        return kWineLaunchers + variant + program.substr(0, program.size() - 4);
    }
    if (program == "openal-info") return OPENAL_INFO_PATH;
    return is_quorvel(program) ? QUORVEL_PATH : FERROWIN_PATH;
}
