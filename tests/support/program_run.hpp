#pragma once
// Runs a program as a child process with extra environment variables and
// the given bytes on its standard input, and collects its standard output.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "temporary_folder.hpp"

struct ProgramRun {
    std::string output;  // everything written to standard output
    int exitCode = -1;   // -1 when the program did not end by itself
    int signal = 0;      // the signal that ended it before the deadline, if one did
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// "NAME=value" assignments as an Environment.
Environment as_environment(const std::vector<std::string>& assignments);

// The output so far, each time more of it has come.
using OutputWatch = std::function<void(const std::string&)>;

// Kills the program when it has not ended after timeoutSeconds. An empty
// workingDirectory keeps the caller's.
ProgramRun run_program_with_input(const std::string& path, const Environment& environment,
                                  const std::string& input, int timeoutSeconds = 20,
                                  const std::string& workingDirectory = "",
                                  const std::vector<std::string>& arguments = {}, const OutputWatch& watch = {});

// The output split at line feeds; the text after the last line feed is the
// last element (empty when the output ends in a line feed).
std::vector<std::string> split_lines(const std::string& output);
