#pragma once
// A run directory laid out as the build tree is: bin/ (the working
// directory) and Media/ side by side, for quorvel of the given platform, in
// a temporary folder of its own.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "programs_under_test.hpp"
#include "temporary_folder.hpp"

class RunLayout {
public:
    explicit RunLayout(const std::string& platform = "linux") : program_(program_on(platform, "quorvel")) {
        std::filesystem::create_directories(dir_.path() / "bin");
        std::filesystem::create_directories(dir_.path() / "Media");
    }
    void put_media(const std::vector<uint8_t>& file) const { dir_.write("Media/Footsteps.wav", file); }
    void copy_media(const std::string& from) const {
        std::filesystem::copy_file(from, dir_.path() / "Media/Footsteps.wav");
    }
    std::string file(const std::string& name) const { return dir_.file(name); }
    // The command that starts the program against the given OpenAL.
    std::string command(OpenAl library = OpenAl::installed) const { return program_command(program_, library); }

    // A run from bin/ with keys on a pipe.
    ProgramRun run(const Environment& env, const std::string& keys = "1x", OpenAl library = OpenAl::installed,
                   const OutputWatch& watch = {}) const {
        return run_program_with_input(command(library), env, keys, 60, file("bin"), {}, watch);
    }

private:
    TemporaryFolder dir_;
    std::string program_;
};
