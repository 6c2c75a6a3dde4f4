// ferrowin's capability report against the installed OpenAL Soft on its
// null backend, run on a pseudo-terminal and read back from the emulated
// screen, with configurations that change what the library allows, and a
// cross-check of the type probes against openal-info. What the library
// offers by default differs between its versions, so every expectation is
// taken from the installation itself: openal-info for the types and the send
// count, slot_limit_probe for the slot limit. The Windows rows run
// ferrowin.exe under wine with the OpenAL32.dll of the Windows build, and ask
// that library through the same two programs built for Windows.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "programs_under_test.hpp"
#include "report_lines.hpp"
#include "sound_server.hpp"
#include "screen_run.hpp"

namespace {

const std::string kDeviceName = "OpenAL Soft";

// Keeps the user's and the system's XDG configuration out of the run; only
// the configuration file given (possibly empty) adds to the library defaults.
class IsolatedConfiguration {
public:
    explicit IsolatedConfiguration(const std::string& contents)
        : conf_("alsoft.conf", contents) {}
    Environment environment() const {
        const std::string home = home_.path().string();
        return {{"ALSOFT_DRIVERS", "null"}, {"ALSOFT_CONF", conf_.path()},
                {"HOME", home}, {"XDG_CONFIG_HOME", home}, {"XDG_CONFIG_DIRS", home}};
    }

private:
    TemporaryFile conf_;
    TemporaryFolder home_;
};

// Our name field of each type and the name openal-info gives it.
const auto kOpenAlInfoNames = openal_info_names();

std::string run_openal_info(const Environment& environment, const std::string& platform) {
    const ProgramRun run = run_program_with_input(
        program_command(program_on(platform, "openal-info"), OpenAl::installed), environment, "");
    // The Windows one ends its lines in CR LF.
    std::string output = run.output;
    std::erase(output, '\r');
    return output;
}

std::string slot_limit_probe(const std::string& platform) {
    if (platform == "windows") return std::string(WINE_LAUNCHER_DIR) + "/openal/slot_limit_probe";
    return SLOT_LIMIT_PROBE_PATH;
}

// The comma-separated names listed under heading, on the indented lines
// that follow it.
std::vector<std::string> listed_under(const std::string& info, const std::string& heading) {
    std::vector<std::string> names;
    std::istringstream in(info);
    std::string line;
    bool inList = false;
    while (std::getline(in, line)) {
        if (line == heading) {
            inList = true;
            continue;
        }
        if (!inList) continue;
        if (!line.starts_with("    ")) break;
        std::istringstream items(line.substr(4));
        std::string item;
        while (std::getline(items, item, ',')) {
            if (!item.empty() && item.front() == ' ') item.erase(0, 1);
            if (!item.empty()) names.push_back(item);
        }
    }
    return names;
}

// What openal-info says the default device offers.
struct InfoReport {
    std::vector<std::string> types;  // effects and filters, openal-info's names
    std::string sends;               // the send count as written
};

InfoReport read_openal_info(const Environment& environment, const std::string& platform) {
    const std::string info = run_openal_info(environment, platform);
    InfoReport report;
    report.types = listed_under(info, "Supported effects:");
    const std::vector<std::string> filters = listed_under(info, "Supported filters:");
    EXPECT_FALSE(report.types.empty()) << "openal-info listed no effects:\n" << info;
    EXPECT_FALSE(filters.empty()) << "openal-info listed no filters:\n" << info;
    report.types.insert(report.types.end(), filters.begin(), filters.end());
    const std::string sendsPrefix = "Max auxiliary sends: ";
    const std::size_t at = info.find(sendsPrefix);
    EXPECT_NE(at, std::string::npos) << info;
    if (at != std::string::npos) {
        report.sends = info.substr(at + sendsPrefix.size(),
                                   info.find('\n', at) - at - sendsPrefix.size());
    }
    return report;
}

// count and noun, with the plural "s" unless count is "1".
std::string counted(const std::string& count, const std::string& noun) {
    return count + noun + (count == "1" ? "" : "s");
}

// A configuration, and the types it excludes.
struct SoftCase {
    const char* name;
    std::string configuration;
    std::vector<std::string> excluded;  // type names
};

const SoftCase kSoftCases[] = {
    {"DefaultConfiguration", "", {}},
    {"FourSlots", "[general]\nslots = 4\n", {}},
    {"OneSend", "[general]\nsends = 1\n", {}},
    {"ChorusExcluded", "[general]\nexcludefx = chorus\n", {"Chorus"}},
    {"EaxReverbAndEchoExcluded", "[general]\nexcludefx = eaxreverb,echo\n",
     {"EAX Reverb", "Echo"}},
};

// The report ferrowin owes the installation under the case's configuration
// (in environment). How many slots and sends a configuration yields differs
// between versions (1.24 keeps 64 slots whatever "slots" says), so those
// come from slot_limit_probe and openal-info under that configuration. The
// types come from openal-info without one, less those the case excludes:
// not every version's openal-info follows "excludefx".
Lines installed_report(const SoftCase& c, const Environment& environment, const std::string& platform) {
    const IsolatedConfiguration noConfiguration("");
    const InfoReport installed = read_openal_info(noConfiguration.environment(), platform);
    const InfoReport configured = read_openal_info(environment, platform);
    std::vector<std::string> refusedFields = c.excluded;
    for (const auto& [nameField, infoName] : kOpenAlInfoNames) {
        if (std::find(installed.types.begin(), installed.types.end(), infoName) ==
            installed.types.end())
            refusedFields.push_back(nameField);
    }
    const ProgramRun probe = run_program_with_input(slot_limit_probe(platform), environment, "");
    EXPECT_EQ(probe.exitCode, 0) << probe.output;
    std::string slots = probe.output;
    std::erase(slots, '\r');
    if (!slots.empty() && slots.back() == '\n') slots.pop_back();
    return join({{counted(slots, " Auxiliary Effect Slot"),
                  counted(configured.sends, " Auxiliary Send") + " per Source"},
                 refused(kEffectsAllYes, refusedFields), refused(kFiltersAllYes, refusedFields)});
}

void PrintTo(const SoftCase& c, std::ostream* out) { *out << c.name; }

// Tall enough that the whole run fits without scrolling.
constexpr int kScreenRows = 40;

// Runs ferrowin (a command) on a terminal, picks device 1, and returns the
// screen once the final wait shows; then presses a key and expects exit code 0.
Lines report_screen(const Environment& environment, const std::string& ferrowin = FERROWIN_PATH) {
    screen::ScreenRun session({.argv = {ferrowin}, .rows = kScreenRows}, environment);
    EXPECT_TRUE(session.choose("1", "Press any key to exit"));
    EXPECT_TRUE(session.waitForSettledText("Press any key to exit")) << session.dump();
    const Lines screenLines = session.lines();
    session.send("x");
    EXPECT_EQ(session.waitExit(), screen::ExitStatus::exitedWith(0)) << session.dump();
    return screenLines;
}

class OpenAlSoftReport : public testing::TestWithParam<std::tuple<std::string, SoftCase>> {};

TEST_P(OpenAlSoftReport, ShowsExactlyTheExpectedReport) {
    const auto& [platform, c] = GetParam();
    IsolatedConfiguration configuration(c.configuration);
    Lines expected =
        expected_lines(kDeviceName, installed_report(c, configuration.environment(), platform));
    expected.resize(kScreenRows);
    EXPECT_EQ(report_screen(configuration.environment(),
                            program_command(program_on(platform, "ferrowin"), OpenAl::installed)),
              expected);
}

INSTANTIATE_TEST_SUITE_P(Configurations, OpenAlSoftReport,
                         testing::Combine(testing::ValuesIn(platforms_under_test()), testing::ValuesIn(kSoftCases)),
                         [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param).name; });

// Through the release's sound server (one row per backend that reaches it)
// the report is the one the installation owes on the null backend.
class OpenAlSoftReportThroughServer : public testing::TestWithParam<std::string> {};

TEST_P(OpenAlSoftReportThroughServer, IsTheReportOfTheNullBackend) {
    SoundServer server(GetParam());
    ASSERT_TRUE(server.ready()) << server.problem();
    if (const std::string why = server.unloadable(GetParam()); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(server.ready(GetParam())) << server.problem();
    const IsolatedConfiguration configuration("");
    Lines expected = expected_lines(kDeviceName, installed_report(kSoftCases[0], configuration.environment(), "linux"));
    expected.resize(kScreenRows);
    EXPECT_EQ(report_screen(server.environment(GetParam())), expected);
}

INSTANTIATE_TEST_SUITE_P(Backends, OpenAlSoftReportThroughServer, testing::ValuesIn(SoundServer::releaseBackends()),
                         [](const auto& info) { return info.param; });

TEST(OpenAlInfoCrossCheck, ProbesAgreeWithTheTypesOpenAlInfoLists) {
    IsolatedConfiguration configuration("");
    const InfoReport info = read_openal_info(configuration.environment(), "linux");
    ASSERT_FALSE(info.types.empty());

    const Lines screenLines = report_screen(configuration.environment());
    std::map<std::string, std::string> results;  // name field -> "YES" or "NO"
    for (const std::string& line : screenLines) {
        if (line.size() >= 21) results[line.substr(0, 19)] = line.substr(19);
    }
    for (const auto& [nameField, infoName] : kOpenAlInfoNames) {
        const bool listed =
            std::find(info.types.begin(), info.types.end(), infoName) != info.types.end();
        ASSERT_TRUE(results.contains(nameField)) << "no result line for" << nameField;
        EXPECT_EQ(results[nameField], listed ? "YES" : "NO") << infoName;
    }

    // The send count as openal-info reports it.
    EXPECT_NE(std::find(screenLines.begin(), screenLines.end(),
                        info.sends + " Auxiliary Sends per Source"),
              screenLines.end());
}

}  // namespace
