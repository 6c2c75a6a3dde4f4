#pragma once
// A program on the terminal with an environment added to the session's: the
// caller's (an OpenAL configuration, a sound server's), or that of a sandbox
// of the stand-in OpenAL kept as long as the run; and the device menu both
// programs open with.

#include <gtest/gtest.h>

#include <memory>

#include "fakeal_support.hpp"
#include "program_run.hpp"
#include "terminal_session.hpp"

namespace screen {

// The stand-in's sandbox, made before the session starts, gone after it ends.
struct StandIn {
    std::unique_ptr<fakeal::Sandbox> sandbox;
};

class ScreenRun : private StandIn, public TerminalSession {
public:
    ScreenRun(SessionOptions options, const Environment& environment);
    // Against the stand-in with the scenario: options' argv, or when it is
    // empty program (of programs_under_test) as run against the stand-in.
    ScreenRun(const std::vector<std::string>& scenario, SessionOptions options, const std::string& program = "");

    std::vector<std::string> log() const { return sandbox->logLines(); }  // the stand-in's
    // Once the device menu reads raw keys, types keys and waits for text.
    testing::AssertionResult choose(const std::string& keys, const std::string& text);
    int rowWith(const std::string& text) const;  // the row that holds text, or -1
};

}  // namespace screen
