// ferrowin's capability report against the installed OpenAL Soft on its
// null backend, run on a pseudo-terminal and read back from the emulated
// screen, with configurations that change what the library allows, and a
// cross-check of the type probes against openal-info. The Windows rows run
// ferrowin.exe under wine with the OpenAL32.dll of the Windows build, whose
// version differs from the Linux one: there the expected report is what
// that version's own openal-info.exe lists for the same configuration.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "programs_under_test.hpp"
#include "report_lines.hpp"
#include "terminal_session.hpp"

namespace {

const std::string kDeviceName = "OpenAL Soft";

// Keeps the user's and the system's XDG configuration out of the run; only
// the configuration file given (possibly empty) adds to the library defaults.
class IsolatedConfiguration {
public:
    explicit IsolatedConfiguration(const std::string& contents)
        : conf_("alsoft.conf", contents), home_("empty") {}
    Environment environment() const {
        const std::string& home = home_.directory();
        return {{"ALSOFT_DRIVERS", "null"}, {"ALSOFT_CONF", conf_.path()},
                {"HOME", home}, {"XDG_CONFIG_HOME", home}, {"XDG_CONFIG_DIRS", home}};
    }

private:
    TemporaryFile conf_;
    TemporaryFile home_;
};

struct SoftCase {
    const char* name;
    std::string configuration;
    Lines report;
};

// OpenAL Soft 1.19.1 as Debian ships it: 64 slots and 2 sends unless
// configured otherwise; every type but the vocal morpher.
const Lines kSoftEffects = refused(kEffectsAllYes, {" Vocal Morpher     "});
const std::string kSoftSlots = "64 Auxiliary Effect Slots";
const std::string kSoftSends = "2 Auxiliary Sends per Source";

const SoftCase kSoftCases[] = {
    {"DefaultConfiguration", "", join({{kSoftSlots, kSoftSends}, kSoftEffects, kFiltersAllYes})},
    {"FourSlots", "[general]\nslots = 4\n",
     join({{"4 Auxiliary Effect Slots", kSoftSends}, kSoftEffects, kFiltersAllYes})},
    {"OneSend", "[general]\nsends = 1\n",
     join({{kSoftSlots, "1 Auxiliary Send per Source"}, kSoftEffects, kFiltersAllYes})},
    {"ChorusExcluded", "[general]\nexcludefx = chorus\n",
     join({{kSoftSlots, kSoftSends}, refused(kSoftEffects, {" Chorus            "}),
           kFiltersAllYes})},
    {"EaxReverbAndEchoExcluded", "[general]\nexcludefx = eaxreverb,echo\n",
     join({{kSoftSlots, kSoftSends},
           refused(kSoftEffects, {" EAX Reverb        ", " Echo              "}),
           kFiltersAllYes})},
};

void PrintTo(const SoftCase& c, std::ostream* out) { *out << c.name; }

// Tall enough that the whole run fits without scrolling.
constexpr int kScreenRows = 40;

// Runs ferrowin (a command) on a terminal, picks device 1, and returns the
// screen once the final wait shows; then presses a key and expects exit code 0.
Lines report_screen(const Environment& environment, const std::string& ferrowin = FERROWIN_PATH) {
    screen::SessionOptions options{.argv = {ferrowin}, .rows = kScreenRows};
    for (const auto& [name, value] : environment) options.env[name] = value;
    screen::TerminalSession session(options);
    EXPECT_TRUE(session.waitForText("Select OpenAL device:")) << session.dump();
    EXPECT_TRUE(session.waitForRawKeys()) << session.dump();
    session.send("1");
    EXPECT_TRUE(session.waitForSettledText("Press any key to exit")) << session.dump();
    const Lines screenLines = session.lines();
    session.send("x");
    EXPECT_EQ(session.waitExit(), screen::ExitStatus::exitedWith(0)) << session.dump();
    return screenLines;
}

// Our name field of each type and the name openal-info gives it.
const std::pair<const char*, const char*> kOpenAlInfoNames[] = {
    {" Reverb            ", "Reverb"},
    {" EAX Reverb        ", "EAX Reverb"},
    {" Chorus            ", "Chorus"},
    {" Distortion        ", "Distortion"},
    {" Echo              ", "Echo"},
    {" Flanger           ", "Flanger"},
    {" Frequency Shifter ", "Frequency Shifter"},
    {" Vocal Morpher     ", "Vocal Morpher"},
    {" Pitch Shifter     ", "Pitch Shifter"},
    {" Ring Modulator    ", "Ring Modulator"},
    {" Autowah           ", "Autowah"},
    {" Compressor        ", "Compressor"},
    {" Equalizer         ", "Equalizer"},
    {" Low Pass          ", "Low-pass"},
    {" High Pass         ", "High-pass"},
    {" Band Pass         ", "Band-pass"},
};

std::string run_openal_info(const Environment& environment, const std::string& platform = "linux") {
    const ProgramRun run = run_program_with_input(
        program_command(program_on(platform, "openal-info"), OpenAl::installed), environment, "");
    // The Windows one ends its lines in CR LF.
    std::string output = run.output;
    std::erase(output, '\r');
    return output;
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

// OpenAL Soft 1.24, the version of the Windows build, offers 64 effect slots
// whatever the configuration says (its "slots" option is gone); openal-info
// does not count slots, so this line is the version's.
const std::string kWindowsVersion = "ALSOFT 1.24.";
const std::string kWindowsSlots = "64 Auxiliary Effect Slots";

// The report as openal-info shows the library: its send count, and YES for
// each type it lists; the slot line is given.
Lines witnessed_report(const std::string& info, const std::string& slotsLine) {
    std::vector<std::string> listed = listed_under(info, "Supported effects:");
    const std::vector<std::string> filters = listed_under(info, "Supported filters:");
    listed.insert(listed.end(), filters.begin(), filters.end());
    std::vector<std::string> notListed;
    for (const auto& [nameField, infoName] : kOpenAlInfoNames)
        if (std::find(listed.begin(), listed.end(), infoName) == listed.end()) notListed.push_back(nameField);

    const std::string sendsPrefix = "Max auxiliary sends: ";
    const std::size_t at = info.find(sendsPrefix);
    if (at == std::string::npos) return {"openal-info shows no send count"};
    const std::string sends = info.substr(at + sendsPrefix.size(), info.find('\n', at) - at - sendsPrefix.size());
    const std::string sendsLine = sends + (sends == "1" ? " Auxiliary Send per Source" : " Auxiliary Sends per Source");
    return join({{slotsLine, sendsLine}, refused(kEffectsAllYes, notListed), refused(kFiltersAllYes, notListed)});
}

class OpenAlSoftReport : public testing::TestWithParam<std::tuple<std::string, SoftCase>> {};

TEST_P(OpenAlSoftReport, ShowsExactlyTheExpectedReport) {
    const auto& [platform, c] = GetParam();
    IsolatedConfiguration configuration(c.configuration);
    Lines report = c.report;
    if (platform == "windows") {
        const std::string info = run_openal_info(configuration.environment(), platform);
        ASSERT_FALSE(listed_under(info, "Supported effects:").empty()) << "openal-info.exe listed no effects:\n" << info;
        ASSERT_NE(info.find(kWindowsVersion), std::string::npos) << "not the expected version:\n" << info;
        report = witnessed_report(info, kWindowsSlots);
    }
    Lines expected = expected_lines(kDeviceName, report);
    expected.resize(kScreenRows);
    EXPECT_EQ(report_screen(configuration.environment(),
                            program_command(program_on(platform, "ferrowin"), OpenAl::installed)),
              expected);
}

INSTANTIATE_TEST_SUITE_P(Configurations, OpenAlSoftReport,
                         testing::Combine(testing::ValuesIn(platforms_under_test()), testing::ValuesIn(kSoftCases)),
                         [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param).name; });

TEST(OpenAlInfoCrossCheck, ProbesAgreeWithTheTypesOpenAlInfoLists) {
    IsolatedConfiguration configuration("");
    const std::string info = run_openal_info(configuration.environment());
    std::vector<std::string> supported = listed_under(info, "Supported effects:");
    const std::vector<std::string> filters = listed_under(info, "Supported filters:");
    ASSERT_FALSE(supported.empty()) << "openal-info listed no effects:\n" << info;
    ASSERT_FALSE(filters.empty()) << "openal-info listed no filters:\n" << info;
    supported.insert(supported.end(), filters.begin(), filters.end());

    const Lines screenLines = report_screen(configuration.environment());
    std::map<std::string, std::string> results;  // name field -> "YES" or "NO"
    for (const std::string& line : screenLines) {
        if (line.size() >= 21) results[line.substr(0, 19)] = line.substr(19);
    }
    for (const auto& [nameField, infoName] : kOpenAlInfoNames) {
        const bool listed =
            std::find(supported.begin(), supported.end(), infoName) != supported.end();
        ASSERT_TRUE(results.contains(nameField)) << "no result line for" << nameField;
        EXPECT_EQ(results[nameField], listed ? "YES" : "NO") << infoName;
    }

    // The send count as openal-info reports it.
    const std::string sendsPrefix = "Max auxiliary sends: ";
    const std::size_t at = info.find(sendsPrefix);
    ASSERT_NE(at, std::string::npos) << info;
    const std::string sends = info.substr(at + sendsPrefix.size(),
                                          info.find('\n', at) - at - sendsPrefix.size());
    EXPECT_NE(std::find(screenLines.begin(), screenLines.end(),
                        sends + " Auxiliary Sends per Source"),
              screenLines.end());
}

}  // namespace
