// quorvel on a pseudo-terminal with the real OpenAL Soft (null backend):
// the screen it leaves, and the pace of its dots.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "console_driver.hpp"
#include "programs_under_test.hpp"
#include "run_layout.hpp"
#include "terminal_session.hpp"
#include "wave_builder.hpp"
#include "wave_signal.hpp"

using namespace wavetest;
namespace fs = std::filesystem;

namespace {

struct ScreenRun {
    RunLayout layout;
    std::unique_ptr<screen::TerminalSession> session;

    explicit ScreenRun(const Bytes* media, const std::string& platform = "linux") : layout(platform) {
        if (media) layout.put_media(*media);
        else layout.copy_media(FOOTSTEPS_PATH);
        screen::SessionOptions options;
        options.argv = {layout.command()};
        options.env = {{"ALSOFT_DRIVERS", "null"}};
        options.workdir = layout.file("bin");
        session = std::make_unique<screen::TerminalSession>(options);
    }
    // Picks device 1 once the menu takes raw keys, and waits for the text
    // that shows the job has come that far.
    testing::AssertionResult choose_device_until(const std::string& text) {
        auto& s = *session;
        if (!s.waitForText("Select OpenAL device:") || !s.waitForRawKeys())
            return testing::AssertionFailure() << "no menu reading raw keys\n" << s.dump();
        s.send("1");
        if (!s.waitForText(text)) return testing::AssertionFailure() << "no \"" << text << "\"\n" << s.dump();
        return testing::AssertionSuccess();
    }
    // The row that holds text, or -1.
    int row_with(const std::string& text) const {
        auto lines = session->lines();
        for (size_t r = 0; r < lines.size(); ++r)
            if (lines[r].find(text) != std::string::npos) return int(r);
        return -1;
    }
};

// These run on each platform under test: the Windows console under wine
// starts its program at the top of an empty screen, as the Linux one does here.
class QuorvelScreenOn : public testing::TestWithParam<std::string> {};

TEST_P(QuorvelScreenOn, PlaysTheBundledFileWithADotPer100Ms) {
    ScreenRun run(nullptr, GetParam());
    auto& s = *run.session;
    ASSERT_TRUE(run.choose_device_until("Playing Source ."));
    auto firstDot = std::chrono::steady_clock::now();
    ASSERT_TRUE(s.waitForText("Press any key to exit", std::chrono::seconds(30))) << s.dump();
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - firstDot).count();

    double seconds = wave_seconds(FOOTSTEPS_PATH);
    EXPECT_EQ(s.row(0), "Quorvel Test Application");
    int opened = run.row_with("Opened OpenAL Soft Device");
    ASSERT_GE(opened, 0) << s.dump();
    std::string dotsLine = s.row(opened + 1);
    ASSERT_EQ(dotsLine.rfind("Playing Source ", 0), 0u) << s.dump();
    std::string dots = dotsLine.substr(15);
    EXPECT_EQ(dots, std::string(dots.size(), '.'));
    int expected = int(seconds * 10);
    // As in QuorvelRun: the null backend keeps to the wall clock.
    EXPECT_GE(int(dots.size()), expected * 85 / 100) << s.dump();
    EXPECT_LE(int(dots.size()), expected + 2) << s.dump();
    // Seen one by one, not in a burst at the end: between two sights, each
    // within a wake-up of the write (it held 10 of 10 at a load of 17 to 32).
    EXPECT_NEAR(elapsed, seconds, 0.5) << "the dots last as long as the sound";
    // The dot line is ended, an empty line, then the final wait.
    EXPECT_EQ(s.row(opened + 2), "");
    EXPECT_EQ(s.row(opened + 3), "Press any key to exit");
    EXPECT_TRUE(s.waitForCursor({opened + 3, 21})) << s.dump();

    s.send("x");
    EXPECT_EQ(s.waitExit(), screen::ExitStatus::exitedWith(0)) << s.dump();
    EXPECT_EQ(s.modeChangesLeftBehind(), "");
}

TEST(QuorvelScreen, SoundShorterThan100MsGivesOneDot) {
    Bytes samples(2 * 44100 / 100 * 2, 0);  // 10 ms of stereo silence: the mixer may wake 90 ms late
    Bytes file = riff({chunk("fmt ", fmt_body(1, 2, 44100, 16)), chunk("data", samples)});
    ScreenRun run(&file);
    auto& s = *run.session;
    ASSERT_TRUE(s.waitForText("Select OpenAL device:")) << s.dump();
    s.send("1");
    ASSERT_TRUE(s.waitForText("Press any key to exit")) << s.dump();
    int playing = run.row_with("Playing Source ");
    ASSERT_GE(playing, 0) << s.dump();
    // One dot; two where the mixer woke over 90 ms late and the source still
    // played at the first poll (seen at a load of 24).
    EXPECT_TRUE(s.row(playing) == "Playing Source ." || s.row(playing) == "Playing Source ..") << s.dump();
    s.send("x");
    EXPECT_EQ(s.waitExit(), screen::ExitStatus::exitedWith(0)) << s.dump();
}

TEST_P(QuorvelScreenOn, KeyPressedDuringPlaybackEndsTheFinalWait) {
    ScreenRun run(nullptr, GetParam());
    auto& s = *run.session;
    ASSERT_TRUE(run.choose_device_until("Playing Source ."));
    s.send("k");  // waits in the input until the final wait takes it
    EXPECT_EQ(s.waitExit(std::chrono::seconds(30)), screen::ExitStatus::exitedWith(0)) << s.dump();
    const int wait_row = run.row_with("Press any key to exit");
    ASSERT_GE(wait_row, 0) << s.dump();
    EXPECT_EQ(s.row(wait_row - 2).rfind("Playing Source ...", 0), 0u) << "playback ran to its end";
    EXPECT_TRUE(s.waitForCursor({wait_row, 21})) << s.dump();
    EXPECT_EQ(s.modeChangesLeftBehind(), "");
}

INSTANTIATE_TEST_SUITE_P(Platforms, QuorvelScreenOn, testing::ValuesIn(platforms_under_test()),
                         [](const auto& info) { return info.param; });

TEST(QuorvelScreen, HangUpDuringPlaybackEndsAtOnce) {
    ScreenRun run(nullptr);
    auto& s = *run.session;
    ASSERT_TRUE(s.waitForText("Select OpenAL device:")) << s.dump();
    s.send("1");
    ASSERT_TRUE(s.waitForText("Playing Source ..")) << s.dump();
    s.kill(SIGHUP);
    EXPECT_EQ(s.waitExit(), screen::ExitStatus::killedBy(SIGHUP)) << s.dump();
    EXPECT_EQ(run.row_with("Press any key to exit"), -1) << s.dump();
    EXPECT_EQ(s.modeChangesLeftBehind(), "");
}

// quorvel.exe in a console of its own, through the console driver: the
// close event during playback runs the end routine on a thread of its own,
// and nothing is printed after it.
class QuorvelInConsoleOn : public testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(QuorvelInConsoleOn);

TEST_P(QuorvelInConsoleOn, CloseEventDuringPlaybackEndsIt) {
    const ConsoleSetup setup;
    const ConsoleReport report =
        run_in_console("quorvel.exe", OpenAl::installed, setup,
                       {"wait Select OpenAL device:", key_press('1', 0x02, '1'), "wait Playing Source ...",
                        "close", "sleep 300", "exit"},
                       {{"ALSOFT_DRIVERS", "null"}, {"ALSOFT_CONF", "/dev/null"}});
    ASSERT_EQ(report.failed, "") << report.text;
    EXPECT_EQ(report.exit, "0");
    // The dots stopped where the event came: far fewer than the sound's 40.
    ASSERT_GE(report.screen.rows.size(), 7u) << report.text;
    const std::string dots = report.screen.rows[6].substr(std::min<size_t>(15, report.screen.rows[6].size()));
    EXPECT_LT(dots.size(), 20u) << report.text;
    ConsoleOutput output = {{true, "Quorvel Test Application"}, {true, ""}, {true, "Select OpenAL device:"},
                            {true, "1. OpenAL Soft (DEFAULT)"}, {true, ""}, {true, "Opened OpenAL Soft Device"},
                            {false, "Playing Source "}};
    for (size_t i = 0; i < dots.size(); ++i) output.push_back({false, "."});
    EXPECT_EQ(report.screen, expected_screen(setup, output)) << report.text;
}

INSTANTIATE_TEST_SUITE_P(Platforms, QuorvelInConsoleOn,
                         testing::ValuesIn(console_driver_available() ? std::vector<std::string>{"windows"}
                                                                      : std::vector<std::string>{}),
                         [](const auto& info) { return info.param; });

}  // namespace
