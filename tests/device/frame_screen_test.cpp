// Both programs on a pseudo-terminal with a real terminal emulator behind
// it: keys in, screen cells, cursor and terminal modes out.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "console_driver.hpp"
#include "programs_under_test.hpp"
#include "screen_run.hpp"

namespace {

using screen::ExitStatus;
using screen::Position;
using screen::ScreenRun;
using screen::SessionOptions;
using screen::TerminalSession;

const std::string kPrompt = "$ run\r\n";  // a shell prompt line; the program starts on row 1

// The screen a program starts on, and the row of its first line: a prompt
// line above it on Linux; an empty screen under wine, whose console takes
// the cursor to be at the top left whatever the terminal shows.
std::string initial_screen(const std::string& platform) { return platform == "windows" ? "" : kPrompt; }
int first_row(const std::string& platform) { return platform == "windows" ? 0 : 1; }

// The rows that follow run on each platform under test.
class FrameOnTerminalOn : public ::testing::TestWithParam<std::string> {
protected:
    const std::string& platform() const { return GetParam(); }
    std::string program(const char* name) const { return program_on(platform(), name); }
    int row0() const { return first_row(platform()); }
};

TEST_P(FrameOnTerminalOn, MenuChoiceAndFinalWait) {
    ScreenRun t({"device = A", "device = B", "default_device = B", "efx_extension = no"},
                {.initialContent = initial_screen(platform())}, program("ferrowin"));
    const int r = row0();
    ASSERT_TRUE(t.waitForCursor({r + 5, 0})) << t.dump();
    ASSERT_TRUE(t.waitForRawKeys()) << t.dump();
    if (r > 0) {
        EXPECT_EQ(t.row(0), "$ run");
    }
    EXPECT_EQ(t.row(r), "Ferrowin Application");
    EXPECT_EQ(t.row(r + 1), "");
    EXPECT_EQ(t.row(r + 2), "Select OpenAL device:");
    EXPECT_EQ(t.row(r + 3), "1. A");
    EXPECT_EQ(t.row(r + 4), "2. B (DEFAULT)");

    t.send("2");
    ASSERT_TRUE(t.waitForSettledText("Press any key to exit")) << t.dump();
    EXPECT_EQ(t.row(r + 5), "");
    EXPECT_EQ(t.row(r + 6), "Opened B Device");
    EXPECT_EQ(t.row(r + 7), "-ERR: EFX not supported");
    EXPECT_EQ(t.row(r + 8), "");
    EXPECT_EQ(t.row(r + 9), "Press any key to exit");
    ASSERT_TRUE(t.waitForCursor({r + 9, 21})) << t.dump();
    EXPECT_TRUE(t.exitStatus().running());

    t.send("q");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_EQ(t.modeChangesLeftBehind(), "");
    EXPECT_EQ(t.row(r + 10), "") << "nothing after the final wait";
}

TEST_P(FrameOnTerminalOn, InvalidKeysEndSilentlyAndRestoreTheTerminal) {
    const struct {
        const char* name;
        const char* keys;
    } cases[] = {{"zero", "0"}, {"letter", "x"}, {"enter", "\r"}, {"arrow", "\x1b[A"},
                 {"lone escape", "\x1b"}, {"function key", "\x1bOP"}, {"above the menu", "3"}};
    const int r = row0();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenRun t({"device = A", "device = B"}, {.initialContent = initial_screen(platform())}, program("quorvel"));
        ASSERT_TRUE(t.waitForCursor({r + 5, 0})) << t.dump();
        ASSERT_TRUE(t.waitForRawKeys()) << t.dump();
        t.send(c.keys);
        EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
        EXPECT_EQ(t.cursor(), (Position{r + 5, 0}));
        EXPECT_EQ(t.row(r + 4), "2. B");
        EXPECT_EQ(t.row(r + 5), "");
        EXPECT_EQ(t.modeChangesLeftBehind(), "");
        EXPECT_FALSE(opened_a_device(t.log()));
    }
}

TEST(FrameOnTerminal, KeysTypedAheadAreNotLost) {
    // The choice and the key for the final wait arrive together, before the
    // menu is even shown: the device opens and the final wait ends by itself.
    ScreenRun t({"device = A", "efx_extension = no"}, {}, "ferrowin");
    t.send("1x");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_TRUE(t.waitForText("Opened A Device")) << t.dump();
    EXPECT_TRUE(t.waitForText("Press any key to exit")) << t.dump();
    EXPECT_EQ(t.modeChangesLeftBehind(), "");
}

TEST_P(FrameOnTerminalOn, HostileDeviceNameIsShownHarmlessly) {
    const std::string hostile = "\\e[2J\\e]0;pwned\\x07\\e[31mEvil\\e[H\\x9b1;1H\\x7f";
    // On Linux a line above the program must survive it.
    const int r = row0();
    ScreenRun t({"device = " + hostile, "efx_extension = no"}, {.initialContent = r > 0 ? "keep me\r\n" : ""},
                program("ferrowin"));
    ASSERT_TRUE(t.waitForText("Select OpenAL device:")) << t.dump();
    ASSERT_TRUE(t.waitForCursor({r + 4, 0})) << t.dump();
    ASSERT_TRUE(t.waitForRawKeys()) << t.dump();
    if (r > 0) {
        EXPECT_EQ(t.row(0), "keep me") << "the screen was cleared";
    }
    EXPECT_EQ(t.row(r + 3),
              "1. \xE2\x90\x9B[2J\xE2\x90\x9B]0;pwned\xE2\x90\x87\xE2\x90\x9B[31mEvil\xE2\x90\x9B[H"
              "\xEF\xBF\xBD" "1;1H\xE2\x90\xA1 (DEFAULT)");
    t.send("1");
    ASSERT_TRUE(t.waitForCursor({r + 8, 21})) << t.dump();
    EXPECT_EQ(t.row(r + 5).substr(0, 10), "Opened \xE2\x90\x9B");
    t.send("x");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0));
}

// On Windows the console driver's rows check these cells.
TEST(FrameOnTerminal, UnicodeNamesKeepTheCursorInStep) {
    ScreenRun t({"device = Haut-parleurs St\\xc3\\xa9r\\xc3\\xa9o", "device = \\xe6\\x97\\xa5\\xe6\\x9c\\xac",
                 "device = bad\\xc3(", "default_device = bad\\xc3("}, {}, "ferrowin");
    ASSERT_TRUE(t.waitForCursor({6, 0})) << t.dump();
    EXPECT_EQ(t.row(3), "1. Haut-parleurs St\xC3\xA9r\xC3\xA9o");
    EXPECT_EQ(t.row(4), "2. \xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(t.row(5), "3. bad\xEF\xBF\xBD( (DEFAULT)");
    EXPECT_EQ(t.cell(5, 7), "(");
}

TEST(FrameOnTerminal, LongNameIsCutTo250CellsButOpenedWhole) {
    const std::string name = std::string(247, 'n') + "XYZ" + std::string(50, 'm');
    ScreenRun t({"device = " + name, "efx_extension = no"}, {}, "ferrowin");
    // "1. " and the first 247 characters make the 250 shown: three full
    // rows and ten cells; "XYZ" would be the 251st to 253rd.
    ASSERT_TRUE(t.waitForCursor({7, 0})) << t.dump();
    EXPECT_EQ(t.row(3), "1. " + std::string(77, 'n'));
    EXPECT_EQ(t.row(6), std::string(10, 'n'));
    EXPECT_FALSE(t.waitForText("XYZ", std::chrono::milliseconds(0)));
    t.send("1x");
    ASSERT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    const std::vector<std::string> log = t.log();
    EXPECT_NE(std::find(log.begin(), log.end(), "alcOpenDevice(\"" + name + "\") -> dev1"), log.end());
}

TEST(FrameOnTerminal, StartingOnTheBottomRowScrollsTheScreen) {
    std::string initial;
    for (int i = 1; i <= 9; ++i) initial += "old " + std::to_string(i) + "\r\n";
    ScreenRun t({"device = A"}, {.rows = 10, .cols = 40, .initialContent = initial}, "ferrowin");
    ASSERT_TRUE(t.waitForSettledText("1. A (DEFAULT)")) << t.dump();
    ASSERT_TRUE(t.waitForCursor({9, 0})) << t.dump();
    EXPECT_EQ(t.row(4), "old 9");
    EXPECT_EQ(t.row(5), "Ferrowin Application");
    EXPECT_EQ(t.row(6), "");
    EXPECT_EQ(t.row(7), "Select OpenAL device:");
    EXPECT_EQ(t.row(8), "1. A (DEFAULT)");
    EXPECT_EQ(t.row(9), "");
}

// The emulator that runs a process, when it runs through qemu-user (a root of
// another architecture, its programs handed to qemu by binfmt_misc): the
// kernel's /proc/PID/exe then names qemu, not the program. Empty otherwise.
// Asked of another process: qemu-user answers its own program's questions
// about /proc/self/exe with the emulated program.
std::string qemu_running(pid_t pid) {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    return !error && exe.filename().string().starts_with("qemu-") ? exe.string() : "";
}

TEST_P(FrameOnTerminalOn, SignalsLeaveTheTerminalAsItWas) {
    const struct {
        const char* name;
        int signal;
        bool by_key;
    } cases[] = {{"Ctrl+C", SIGINT, true}, {"Ctrl+\\", SIGQUIT, true}, {"SIGTERM", SIGTERM, false},
                 {"SIGHUP", SIGHUP, false}};
    const bool windows = platform() == "windows";
    const int r = row0();
    for (const auto& c : cases) {
        // The Windows console has one interrupt key, and no Unix signals.
        if (windows && c.signal != SIGINT) continue;
        SCOPED_TRACE(c.name);
        ScreenRun t({"device = A"}, {.initialContent = initial_screen(platform())}, program("quorvel"));
        ASSERT_TRUE(t.waitForCursor({r + 4, 0})) << t.dump();
        ASSERT_TRUE(t.waitForRawKeys()) << t.dump();
        // A signal whose default action dumps core makes qemu-user write a
        // line of its own on the program's standard error as it ends it.
        const std::string qemu = c.signal == SIGQUIT ? qemu_running(t.pid()) : "";
        const std::string qemuLine = "qemu: uncaught target signal 3 (Quit) - core dumped";
        const size_t outputBefore = t.output().size();
        if (c.by_key)
            t.send(c.signal == SIGINT ? "\x03" : "\x1c");
        else
            t.kill(c.signal);
        const ExitStatus status = t.waitExit();
        // Windows ends the process with STATUS_CONTROL_C_EXIT; wine 8 ends
        // it with exit code 0. Either way it ends at once, printing nothing.
        if (windows)
            EXPECT_FALSE(status.running()) << t.dump();
        else
            EXPECT_EQ(status, ExitStatus::killedBy(c.signal)) << t.dump();
        EXPECT_EQ(t.modeChangesLeftBehind(), "");
        if (qemu.empty()) {
            EXPECT_EQ(t.row(r + 4), "") << "nothing is printed on the way out";
        } else {
            // The screen shows the emulator's line where the program's own
            // output would be; told apart from it by the bytes: after the
            // key the program writes nothing (it gives the terminal back
            // through its modes alone), so the line is all that comes.
            std::cout << "[   NOTE   ] " << c.name << ": the program runs through " << qemu
                      << ", whose own line \"" << qemuLine << "\" is the only output allowed\n";
            EXPECT_EQ(t.output().substr(outputBefore), qemuLine + "\r\n") << "nothing is printed on the way out";
            EXPECT_EQ(t.row(r + 4), qemuLine) << t.dump();
        }
        EXPECT_FALSE(opened_a_device(t.log()));
    }
}

// A terminal that does not answer the cursor request: open console waits a
// moment, then starts on a fresh bottom row.
TEST(FrameOnTerminal, SignalWhileWaitingForTheTerminalLeavesItAsItWas) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        ScreenRun t({"device = A", "efx_extension = no"}, {.answerQueries = false}, "ferrowin");
        ASSERT_TRUE(t.waitUntil([&] { return t.output().find("\x1b[6n") != std::string::npos; })) << t.dump();
        t.kill(signal);
        EXPECT_EQ(t.waitExit(), ExitStatus::killedBy(signal)) << t.dump();
        EXPECT_EQ(t.modeChangesLeftBehind(), "");
    }
}

TEST(FrameOnTerminal, LateCursorAnswerIsNoKey) {
    const std::vector<std::string> deliveries[] = {{"\x1b[1;1R"}, {"\x1b[1", ";1R"}};
    for (const auto& pieces : deliveries) {
        SCOPED_TRACE(pieces.size());
        ScreenRun t({"device = A", "efx_extension = no"}, {.answerQueries = false}, "ferrowin");
        ASSERT_TRUE(t.waitUntilSettled([&] { return t.cursor() == Position{23, 0}; })) << t.dump();
        EXPECT_EQ(t.row(21), "Select OpenAL device:");
        EXPECT_EQ(t.row(22), "1. A (DEFAULT)");
        for (const std::string& piece : pieces) {  // the answer, long after it was asked for
            t.send(piece);
            t.pumpFor(std::chrono::milliseconds(300));
        }
        EXPECT_TRUE(t.exitStatus().running()) << "the late answer was taken as the menu key";
        t.send("1x");
        EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
        EXPECT_TRUE(t.shows("Opened A Device")) << t.dump();
    }
}

TEST(FrameOnTerminal, LateCursorAnswerDoesNotReachTheShell) {
    // Keys on a pipe, the screen on the terminal; a shell reads a line after.
    ScreenRun t({"device = A", "efx_extension = no"},
                {.argv = {"/bin/sh", "-c", "printf 1x | " + std::string(FERROWIN_PATH) +
                                               "; echo; echo ended; read -r line; echo \"[$line]\" | tr '\\033' E"},
                 .answerQueries = false});
    ASSERT_TRUE(t.waitForSettledText("Press any key to exit")) << t.dump();
    t.send("\x1b[1;1R");  // long after it was asked for, as the program ends
    ASSERT_TRUE(t.waitForSettledText("ended")) << t.dump();
    t.send("ok\r");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_TRUE(t.shows("[ok]")) << t.dump();
}

TEST(FrameOnTerminal, DumbTerminalIsWrittenLikeAFile) {
    const SessionOptions cases[] = {{.argv = {FERROWIN_PATH}, .env = {{"TERM", "dumb"}}},
                                    {.argv = {FERROWIN_PATH}, .unsetEnv = {"TERM"}}};
    for (const SessionOptions& options : cases) {
        SCOPED_TRACE(options.env.empty() ? "no TERM" : "TERM=dumb");
        ScreenRun t({"device = A", "efx_extension = no"}, options);
        ASSERT_TRUE(t.waitForSettledText("1. A (DEFAULT)")) << t.dump();
        t.send("1x");
        EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
        EXPECT_EQ(t.output(), "Ferrowin Application\r\n\r\nSelect OpenAL device:\r\n1. A (DEFAULT)\r\n\r\n"
                              "Opened A Device\r\n-ERR: EFX not supported\r\n\r\nPress any key to exit");
        EXPECT_EQ(t.modeChangesLeftBehind(), "");
    }
}

// The screen changes under the program while it waits at the menu; what it
// prints next lands below what is on the screen, with the cursor in step.
TEST(FrameOnTerminal, OutputFollowsTheScreenAfterAStopOrAResize) {
    std::string initial;
    for (int i = 1; i <= 16; ++i) initial += "old " + std::to_string(i) + "\r\n";
    const struct {
        const char* name;
        void (*change)(TerminalSession&);
        const char* kept;  // on the screen before the program goes on, and after
    } cases[] = {
        {"stopped, the shell writes, resumed", [](TerminalSession& t) { t.send("\x1a"); }, "shell line"},
        {"shrunk", [](TerminalSession& t) { t.resize(12, 40); }, "1. A (DEFAULT)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string script = "set -m; " + std::string(FERROWIN_PATH) + "; echo; echo shell line; fg >/dev/null";
        ScreenRun t({"device = A", "efx_extension = no"},
                    {.argv = {"/bin/sh", "-c", script}, .initialContent = initial});
        ASSERT_TRUE(t.waitForSettledText("1. A (DEFAULT)")) << t.dump();
        c.change(t);
        // The key only once the program has the terminal raw again.
        ASSERT_TRUE(t.waitUntilSettled([&] { return t.shows(c.kept) && !(t.termiosNow()->c_lflag & ECHO); }))
            << t.dump();
        t.send("1");
        ASSERT_TRUE(t.waitForSettledText("Press any key to exit")) << t.dump();
        const int bottom = t.cursor().row;
        ASSERT_EQ(t.cursor(), (Position{std::max(bottom, 4), 21})) << t.dump();
        const std::vector<std::string> lines = t.lines();
        const std::vector<std::string> tail(lines.begin() + bottom - 4, lines.begin() + bottom + 1);
        EXPECT_EQ(tail, (std::vector<std::string>{"", "Opened A Device", "-ERR: EFX not supported", "",
                                                  "Press any key to exit"})) << t.dump();
        EXPECT_TRUE(t.shows(c.kept)) << t.dump();
        t.send("x");
    }
}

TEST(FrameOnTerminal, OutputPipeClosedLeavesTheTerminalAsItWas) {
    // Keys from the terminal, output into a pipe whose reader stops early:
    // the next print meets a closed pipe.
    const std::string script = std::string(FERROWIN_PATH) + " | head -c 5; echo; echo done";
    ScreenRun t({"device = A"}, {.argv = {"/bin/sh", "-c", script}});
    ASSERT_TRUE(t.waitForText("Ferro")) << t.dump();
    t.pumpFor(std::chrono::milliseconds(300));  // head has gone by now
    t.send("1");
    ASSERT_TRUE(t.waitForText("done")) << t.dump();
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_EQ(t.modeChangesLeftBehind(), "");
}

TEST(FrameOnTerminal, TerminalGoingAwayEndsTheProgram) {
    ScreenRun t({"device = A"}, {.initialContent = kPrompt}, "ferrowin");
    ASSERT_TRUE(t.waitForCursor({5, 0})) << t.dump();
    t.hangUp();
    EXPECT_EQ(t.waitExit(), ExitStatus::killedBy(SIGHUP));
    EXPECT_FALSE(opened_a_device(t.log()));
}

TEST_P(FrameOnTerminalOn, BothProgramsRunOnOpenALSoft) {
    const int r = row0();
    for (const char* name : {"quorvel", "ferrowin"}) {
        const std::string program = program_command(this->program(name), OpenAl::installed);
        SCOPED_TRACE(program);
        ScreenRun t({.argv = {program}, .workdir = program.substr(0, program.rfind('/')), .rows = 40,
                     .initialContent = initial_screen(platform())},
                    {{"ALSOFT_DRIVERS", "null"}, {"ALSOFT_CONF", "/dev/null"}});
        ASSERT_TRUE(t.waitForText(" (DEFAULT)")) << t.dump();
        ASSERT_TRUE(t.waitForRawKeys()) << t.dump();
        EXPECT_EQ(t.row(r + 2), "Select OpenAL device:");
        EXPECT_EQ(t.row(r + 3).substr(0, 3), "1. ");
        const std::string device = t.row(r + 3).substr(3, t.row(r + 3).size() - 3 - 10);
        t.send("1");
        ASSERT_TRUE(t.waitForSettledText("Press any key to exit", std::chrono::seconds(30))) << t.dump();
        EXPECT_EQ(t.row(r + 5), "Opened " + device + " Device");
        const Position end = t.cursor();
        EXPECT_EQ(t.row(end.row), "Press any key to exit");
        EXPECT_EQ(end.col, 21);
        t.send(" ");
        EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
        EXPECT_EQ(t.modeChangesLeftBehind(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Platforms, FrameOnTerminalOn, ::testing::ValuesIn(platforms_under_test()),
                         [](const auto& info) { return info.param; });

// The Windows programs in a console of their own, read back through the
// console API by the console driver: every cell's character and attribute,
// the cursor, and the exit status. The expected screen is what the console
// services leave on the in-memory screen set up the same way.
class FrameInConsoleOn : public ::testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FrameInConsoleOn);

// What ferrowin prints on the stand-in OpenAL without EFX, up to its menu,
// and on to the final wait after the device opened.
ConsoleOutput ferrowin_menu(const std::vector<std::string>& menu) {
    ConsoleOutput output = {{true, "Ferrowin Application"}, {true, ""}, {true, "Select OpenAL device:"}};
    for (const std::string& line : menu) output.push_back({true, line});
    return output;
}
ConsoleOutput ferrowin_dialogue(const std::vector<std::string>& menu, const std::string& opened) {
    ConsoleOutput output = ferrowin_menu(menu);
    output.insert(output.end(), {{true, ""}, {true, "Opened " + opened + " Device"}, {true, "-ERR: EFX not supported"},
                                 {true, ""}, {false, "Press any key to exit"}});
    return output;
}

// Key records: the digits, a letter, Shift alone, and an arrow (an enhanced key).
const std::string kPress1 = key_press('1', 0x02, '1');
const std::string kRelease1 = key_release('1', 0x02, '1');
const std::string kPress2 = key_press('2', 0x03, '2');
const std::string kPressX = key_press('X', 0x2D, 'x');
const std::string kShift = key_press(0x10, 0x2A, 0);  // VK_SHIFT
const std::string kArrowUp = key_press(0x26, 0x48, 0, 1, 0x100);  // VK_UP, ENHANCED_KEY
const std::string kWaitMenu = "wait Select OpenAL device:";
const std::string kWaitFinal = "wait Press any key to exit";

// ferrowin in a console set up as given, on the stand-in with the scenario:
// the steps, then "exit", all of them run and the output on the screen.
struct ConsoleRun {
    ConsoleReport report;
    std::vector<std::string> log;  // the stand-in's call log
};
void run_ferrowin(ConsoleRun& run, const std::vector<std::string>& scenario, const ConsoleSetup& setup,
                  std::vector<std::string> steps, const ConsoleOutput& output) {
    fakeal::Sandbox sandbox(scenario);
    steps.push_back("exit");
    run.report = run_in_console("ferrowin.exe", OpenAl::stand_in, setup, steps, as_environment(sandbox.environment()));
    run.log = sandbox.logLines();
    ASSERT_EQ(run.report.failed, "") << run.report.text;
    EXPECT_EQ(run.report.screen, expected_screen(setup, output)) << run.report.text;
}

// A window of 80 columns on rows 10 to 34 of a 100 x 60 buffer, its rows
// holding text in one attribute, the console's attribute another.
ConsoleSetup narrow_window(int cursor_x, int cursor_y) {
    return {.buffer_width = 100, .buffer_height = 60, .left = 0, .top = 10, .right = 79, .bottom = 34,
            .cursor_x = cursor_x, .cursor_y = cursor_y, .fill_attribute = 0x07, .attribute = 0x1E,
            .rows = {{12, "old 12"}, {34, "old 34"}, {40, "below the window"}, {59, "last buffer row"}}};
}

TEST_P(FrameInConsoleOn, ScreenRules) {
    const std::string long_name = std::string(247, 'n') + "XYZ" + std::string(50, 'm');
    const std::string wide_name = "W" + std::string(88, 'w') + "E";
    const struct {
        const char* name;
        ConsoleSetup setup;
        std::string device;  // as the stand-in's scenario gives it
        std::string shown;   // as the program prints it
    } cases[] = {
        {"banner at column 70 of the window's bottom row", narrow_window(70, 34), "A", "A"},
        {"bottom row: print line scrolls the whole buffer",
         {.buffer_width = 80, .buffer_height = 50, .cursor_x = 0, .cursor_y = 24, .fill_attribute = 0x70,
          .attribute = 0x2F, .rows = {{0, "top row"}, {24, "prompt"}, {30, "below the window"}}},
         "A", "A"},
        {"lines wider than the window wrap at the buffer width", narrow_window(0, 12), wide_name, wide_name},
        // "Press any key to exit" (21 cells, no new line after it) scrolls
        // first only when the room check counts the window's 20 columns.
        {"a window of 20 columns: the room check counts the window's columns",
         {.buffer_width = 100, .buffer_height = 60, .left = 0, .top = 10, .right = 19, .bottom = 34, .cursor_x = 5,
          .cursor_y = 34, .fill_attribute = 0x07, .attribute = 0x1E, .rows = {{12, "old 12"}, {40, "below"}}},
         "A", "A"},
        {"a long name is cut at 250 cells", narrow_window(0, 10), long_name, long_name},
        // A full-width character and a broken sequence show as U+FFFD each.
        {"a name in UTF-8 takes one cell per character", narrow_window(5, 20),
         "Haut-parleurs St\\xc3\\xa9r\\xc3\\xa9o \\xe6\\x97\\xa5\\xe6\\x9c\\xac bad\\xc3(",
         "Haut-parleurs St\xC3\xA9r\xC3\xA9o \xEF\xBF\xBD\xEF\xBF\xBD bad\xEF\xBF\xBD("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRun run;
        ASSERT_NO_FATAL_FAILURE(run_ferrowin(run, {"device = " + c.device, "efx_extension = no"}, c.setup,
                                             {kWaitMenu, kPress1, kRelease1, kWaitFinal, kPressX},
                                             ferrowin_dialogue({"1. " + c.shown + " (DEFAULT)"}, c.shown)));
        EXPECT_EQ(run.report.exit, "0");
        if (c.device == c.shown) {  // the log writes other bytes escaped
            EXPECT_NE(std::ranges::find(run.log, "alcOpenDevice(\"" + c.device + "\") -> dev1"), run.log.end())
                << "the device is opened by its whole name";
        }
    }
}

TEST_P(FrameInConsoleOn, KeyRecords) {
    const std::vector<std::string> menu = {"1. A (DEFAULT)", "2. B"};
    const struct {
        const char* name;
        std::vector<std::string> steps;
        std::vector<std::string> alive;  // the answers of the "alive" steps
        ConsoleOutput output;
    } cases[] = {
        {"a digit's press and release: one choice, the release used up",
         {kWaitMenu, kPress1, kRelease1, kWaitFinal, "sleep 300", "alive", kPressX}, {"yes"},
         ferrowin_dialogue(menu, "A")},
        {"Shift alone ends the final wait", {kWaitMenu, kPress2, kWaitFinal, "sleep 200", kShift}, {},
         ferrowin_dialogue(menu, "B")},
        {"an arrow ends the final wait", {kWaitMenu, kPress2, kWaitFinal, "sleep 200", kArrowUp}, {},
         ferrowin_dialogue(menu, "B")},
        {"Shift alone at the menu is no digit: silent exit", {kWaitMenu, "sleep 200", kShift}, {}, ferrowin_menu(menu)},
        {"mouse, focus, menu and buffer-size events and an empty key are used up",
         {kWaitMenu, "mouse", "focus", "menu", "size", key_press(0, 0, 0), "sleep 300", "alive", kPress2, kWaitFinal,
          kPressX},
         {"yes"}, ferrowin_dialogue(menu, "B")},
        {"a press with repeat count 3 is one key",
         {kWaitMenu, key_press('1', 0x02, '1', 3), kWaitFinal, "sleep 300", "alive", kPressX}, {"yes"},
         ferrowin_dialogue(menu, "A")},
        {"keys typed before the menu shows are kept in order", {kPress2, key_release('2', 0x03, '2'), kPressX}, {},
         ferrowin_dialogue(menu, "B")},
    };
    const ConsoleSetup setup;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRun run;
        ASSERT_NO_FATAL_FAILURE(
            run_ferrowin(run, {"device = A", "device = B", "efx_extension = no"}, setup, c.steps, c.output));
        EXPECT_EQ(run.report.alive, c.alive);
        EXPECT_EQ(run.report.exit, "0");
    }
}

TEST_P(FrameInConsoleOn, CloseEventRunsTheEndRoutineAndEndsTheProgram) {
    const std::vector<std::string> menu = {"1. A (DEFAULT)"};
    const struct {
        const char* name;
        std::vector<std::string> steps;
        ConsoleOutput output;  // nothing is printed after the event
        bool opened;
    } cases[] = {
        {"closed at the menu", {kWaitMenu, "sleep 200", "close"}, ferrowin_menu(menu), false},
        {"closed in the final wait", {kWaitMenu, kPress1, kWaitFinal, "sleep 200", "close"},
         ferrowin_dialogue(menu, "A"), true},
        // The interrupt key ends the program at once as well, without the end
        // routine (its exit status is the system's: see docs/windows.md).
        {"Ctrl+C at the menu", {kWaitMenu, "sleep 200", "ctrlc"}, ferrowin_menu(menu), false},
    };
    const ConsoleSetup setup;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRun run;
        ASSERT_NO_FATAL_FAILURE(run_ferrowin(run, {"device = A", "efx_extension = no"}, setup, c.steps, c.output));
        if (c.steps.back() == "close")
            EXPECT_EQ(run.report.exit, "0");
        else
            EXPECT_NE(run.report.exit, "none") << "the program went on";
        EXPECT_EQ(std::count_if(run.log.begin(), run.log.end(),
                                [](const std::string& l) { return l.rfind("alcOpenDevice", 0) == 0; }),
                  c.opened ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Platforms, FrameInConsoleOn,
                         ::testing::ValuesIn(console_driver_available() ? std::vector<std::string>{"windows"}
                                                                        : std::vector<std::string>{}),
                         [](const auto& info) { return info.param; });

}  // namespace
