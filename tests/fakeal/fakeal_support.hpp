// Test support for runs against the stand-in OpenAL library: a temporary
// directory holding a scenario file, the call log and the buffer-data files,
// the environment that selects them, and readers for what the run left.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "call_log.hpp"
#include "fakeal_text.hpp"
#include "temporary_folder.hpp"

// Exported by the stand-in library itself (link the `fakeal` target to use
// it): forgets all devices, contexts and objects and reads FAKEAL_SCENARIO,
// FAKEAL_LOG and FAKEAL_DATA_DIR again.
extern "C" void fakeal_reload(void);

namespace fakeal {

// Directory holding the stand-in libopenal.so.1.
std::string libraryDir();

class Sandbox {
public:
    // Creates a temporary folder of its own (removed with the sandbox) and
    // writes the lines, each ended by a newline, as the scenario file.
    explicit Sandbox(const std::vector<std::string>& scenarioLines);
    // Fails the running test for every call the stand-in logged as one it
    // does not model, unless allowUnexpectedCalls() was called.
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // For the stand-in's own tests of how it reports such a call.
    void allowUnexpectedCalls() { unexpectedAllowed_ = true; }

    const std::filesystem::path& dir() const { return folder_.path(); }
    std::filesystem::path scenarioPath() const { return dir() / "scenario.txt"; }
    std::filesystem::path logPath() const { return dir() / "calls.log"; }
    std::filesystem::path dataDir() const { return dir() / "data"; }

    // "NAME=value" assignments for a child process: LD_LIBRARY_PATH (the
    // stand-in's directory in front of any inherited value), FAKEAL_SCENARIO,
    // FAKEAL_LOG and FAKEAL_DATA_DIR.
    std::vector<std::string> environment() const;

    // Sets FAKEAL_SCENARIO, FAKEAL_LOG and FAKEAL_DATA_DIR in this process;
    // follow with fakeal_reload() when the stand-in is linked in.
    void exportToProcess() const;

    // The log's lines without their line ends; empty when nothing was logged.
    std::vector<std::string> logLines() const;

    // The bytes of the n-th alBufferData call (from 1), or nullopt when that
    // call wrote no file.
    std::optional<std::vector<unsigned char>> bufferData(int n) const;

private:
    TemporaryFolder folder_;
    bool unexpectedAllowed_ = false;
};

}  // namespace fakeal
