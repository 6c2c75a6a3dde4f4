// quorvel on a pseudo-terminal with the real OpenAL Soft (null backend):
// the screen it leaves, and the pace of its dots.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>

#include "console_driver.hpp"
#include "programs_under_test.hpp"
#include "run_layout.hpp"
#include "screen_run.hpp"
#include "wave_signal.hpp"

namespace {

const Environment kNullBackend = {{"ALSOFT_DRIVERS", "null"}};

// These run on each platform under test: the Windows console under wine
// starts its program at the top of an empty screen, as the Linux one does here.
class QuorvelScreenOn : public testing::TestWithParam<std::string> {};

TEST_P(QuorvelScreenOn, PlaysTheBundledFileWithADotPer100Ms) {
    RunLayout layout(GetParam());
    layout.copy_media(FOOTSTEPS_PATH);
    screen::ScreenRun s({.argv = {layout.command()}, .workdir = layout.file("bin")}, kNullBackend);
    ASSERT_TRUE(s.choose("1", "Playing Source ."));
    auto firstDot = std::chrono::steady_clock::now();
    ASSERT_TRUE(s.waitForText("Press any key to exit", std::chrono::seconds(30))) << s.dump();
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - firstDot).count();

    double seconds = wave_seconds(FOOTSTEPS_PATH);
    EXPECT_EQ(s.row(0), "Quorvel Test Application");
    int opened = s.rowWith("Opened OpenAL Soft Device");
    ASSERT_GE(opened, 0) << s.dump();
    std::string dotsLine = s.row(opened + 1);
    ASSERT_EQ(dotsLine.rfind("Playing Source ", 0), 0u) << s.dump();
    std::string dots = dotsLine.substr(15);
    EXPECT_EQ(dots, std::string(dots.size(), '.'));
    int expected = int(seconds * 10);
    // The null backend mixes on the wall clock and makes up a late wake-up,
    // so the source stops with its sound; a late dot loop prints fewer dots,
    // not more (each pass prints one, then asks): 0.6 s spare below, one
    // dot of the mixer's wake-up above.
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

TEST_P(QuorvelScreenOn, KeyPressedDuringPlaybackEndsTheFinalWait) {
    RunLayout layout(GetParam());
    layout.copy_media(FOOTSTEPS_PATH);
    screen::ScreenRun s({.argv = {layout.command()}, .workdir = layout.file("bin")}, kNullBackend);
    ASSERT_TRUE(s.choose("1", "Playing Source ."));
    s.send("k");  // waits in the input until the final wait takes it
    EXPECT_EQ(s.waitExit(std::chrono::seconds(30)), screen::ExitStatus::exitedWith(0)) << s.dump();
    const int wait_row = s.rowWith("Press any key to exit");
    ASSERT_GE(wait_row, 0) << s.dump();
    EXPECT_EQ(s.row(wait_row - 2).rfind("Playing Source ...", 0), 0u) << "playback ran to its end";
    EXPECT_TRUE(s.waitForCursor({wait_row, 21})) << s.dump();
    EXPECT_EQ(s.modeChangesLeftBehind(), "");
}

INSTANTIATE_TEST_SUITE_P(Platforms, QuorvelScreenOn, testing::ValuesIn(platforms_under_test()),
                         [](const auto& info) { return info.param; });

TEST(QuorvelScreen, HangUpDuringPlaybackEndsAtOnce) {
    RunLayout layout;
    layout.copy_media(FOOTSTEPS_PATH);
    screen::ScreenRun s({.argv = {layout.command()}, .workdir = layout.file("bin")}, kNullBackend);
    ASSERT_TRUE(s.choose("1", "Playing Source .."));
    s.kill(SIGHUP);
    EXPECT_EQ(s.waitExit(), screen::ExitStatus::killedBy(SIGHUP)) << s.dump();
    EXPECT_EQ(s.rowWith("Press any key to exit"), -1) << s.dump();
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
