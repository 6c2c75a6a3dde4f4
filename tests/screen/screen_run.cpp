#include "screen_run.hpp"

#include "programs_under_test.hpp"

namespace screen {
namespace {

SessionOptions with(SessionOptions options, const Environment& environment, const std::string& program = "") {
    if (options.argv.empty() && !program.empty()) options.argv = {program_command(program, OpenAl::stand_in)};
    for (const auto& [name, value] : environment) options.env[name] = value;
    return options;
}

}  // namespace

ScreenRun::ScreenRun(SessionOptions options, const Environment& environment)
    : TerminalSession(with(std::move(options), environment)) {}

ScreenRun::ScreenRun(const std::vector<std::string>& scenario, SessionOptions options, const std::string& program)
    : StandIn{std::make_unique<fakeal::Sandbox>(scenario)},
      TerminalSession(with(std::move(options), as_environment(sandbox->environment()), program)) {}

testing::AssertionResult ScreenRun::choose(const std::string& keys, const std::string& text) {
    if (!waitForText("Select OpenAL device:") || !waitForRawKeys())
        return testing::AssertionFailure() << "no menu reading raw keys\n" << dump();
    send(keys);
    if (!waitForText(text)) return testing::AssertionFailure() << "no \"" << text << "\"\n" << dump();
    return testing::AssertionSuccess();
}

int ScreenRun::rowWith(const std::string& text) const {
    const std::vector<std::string> rows = lines();
    for (size_t r = 0; r < rows.size(); ++r)
        if (rows[r].find(text) != std::string::npos) return int(r);
    return -1;
}

}  // namespace screen
