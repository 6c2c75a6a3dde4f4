// Both programs on a pseudo-terminal with a real terminal emulator behind
// it: keys in, screen cells, cursor and terminal modes out.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fakeal_support.hpp"
#include "program_run.hpp"
#include "terminal_session.hpp"

namespace {

using screen::ExitStatus;
using screen::Position;
using screen::SessionOptions;
using screen::TerminalSession;

const std::string kPrompt = "$ run\r\n";  // a shell prompt line; the program starts on row 1

// A program run on the terminal against a scenario of the stand-in OpenAL.
struct FakeRun {
    std::unique_ptr<fakeal::Sandbox> sandbox;
    std::unique_ptr<TerminalSession> terminal;

    FakeRun(const std::string& program, const std::vector<std::string>& scenario,
            const std::string& initial = kPrompt, int rows = 24, int cols = 80, bool answering = true) {
        sandbox = std::make_unique<fakeal::Sandbox>(scenario);
        SessionOptions options;
        options.argv = {program == "quorvel" ? QUORVEL_PATH : FERROWIN_PATH};
        for (const auto& [name, value] : as_environment(sandbox->environment())) options.env[name] = value;
        options.initialContent = initial;
        options.rows = rows;
        options.cols = cols;
        options.answerQueries = answering;
        terminal = std::make_unique<TerminalSession>(options);
    }
    TerminalSession& t() { return *terminal; }
};

TEST(FrameOnTerminal, MenuChoiceAndFinalWait) {
    FakeRun run("ferrowin", {"device = A", "device = B", "default_device = B", "efx_extension = no"});
    TerminalSession& t = run.t();
    ASSERT_TRUE(t.waitForCursor({6, 0})) << t.dump();
    EXPECT_EQ(t.row(0), "$ run");
    EXPECT_EQ(t.row(1), "Ferrowin Application");
    EXPECT_EQ(t.row(2), "");
    EXPECT_EQ(t.row(3), "Select OpenAL device:");
    EXPECT_EQ(t.row(4), "1. A");
    EXPECT_EQ(t.row(5), "2. B (DEFAULT)");

    t.send("2");
    ASSERT_TRUE(t.waitForText("Press any key to exit")) << t.dump();
    EXPECT_EQ(t.row(6), "");
    EXPECT_EQ(t.row(7), "Opened B Device");
    EXPECT_EQ(t.row(8), "-ERR: EFX not supported");
    EXPECT_EQ(t.row(9), "");
    EXPECT_EQ(t.row(10), "Press any key to exit");
    ASSERT_TRUE(t.waitForCursor({10, 21})) << t.dump();
    EXPECT_TRUE(t.exitStatus().running());

    t.send("q");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_EQ(t.terminalModeChanges(), "");
    EXPECT_EQ(t.row(11), "") << "nothing after the final wait";
}

TEST(FrameOnTerminal, InvalidKeysEndSilentlyAndRestoreTheTerminal) {
    const struct {
        const char* name;
        const char* keys;
    } cases[] = {{"zero", "0"}, {"letter", "x"}, {"enter", "\r"}, {"arrow", "\x1b[A"},
                 {"lone escape", "\x1b"}, {"function key", "\x1bOP"}, {"above the menu", "3"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRun run("quorvel", {"device = A", "device = B"});
        TerminalSession& t = run.t();
        ASSERT_TRUE(t.waitForCursor({6, 0})) << t.dump();
        t.send(c.keys);
        EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
        EXPECT_EQ(t.cursor(), (Position{6, 0}));
        EXPECT_EQ(t.row(5), "2. B");
        EXPECT_EQ(t.row(6), "");
        EXPECT_EQ(t.terminalModeChanges(), "");
        const std::vector<std::string> log = run.sandbox->logLines();
        EXPECT_TRUE(std::none_of(log.begin(), log.end(),
                                 [](const std::string& l) { return l.rfind("alcOpenDevice", 0) == 0; }));
    }
}

TEST(FrameOnTerminal, KeysTypedAheadAreNotLost) {
    // The choice and the key for the final wait arrive together, before the
    // menu is even shown: the device opens and the final wait ends by itself.
    FakeRun run("ferrowin", {"device = A", "efx_extension = no"}, "");
    TerminalSession& t = run.t();
    t.send("1x");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_TRUE(t.waitForText("Opened A Device")) << t.dump();
    EXPECT_TRUE(t.waitForText("Press any key to exit")) << t.dump();
    EXPECT_EQ(t.terminalModeChanges(), "");
}

TEST(FrameOnTerminal, HostileDeviceNameIsShownHarmlessly) {
    const std::string hostile = "\\e[2J\\e]0;pwned\\x07\\e[31mEvil\\e[H\\x9b1;1H\\x7f";
    FakeRun run("ferrowin", {"device = " + hostile, "efx_extension = no"}, "keep me\r\n");
    TerminalSession& t = run.t();
    ASSERT_TRUE(t.waitForText("Select OpenAL device:")) << t.dump();
    ASSERT_TRUE(t.waitForCursor({5, 0})) << t.dump();
    EXPECT_EQ(t.row(0), "keep me") << "the screen was cleared";
    EXPECT_EQ(t.row(4),
              "1. \xE2\x90\x9B[2J\xE2\x90\x9B]0;pwned\xE2\x90\x87\xE2\x90\x9B[31mEvil\xE2\x90\x9B[H"
              "\xEF\xBF\xBD" "1;1H\xE2\x90\xA1 (DEFAULT)");
    t.send("1");
    ASSERT_TRUE(t.waitForCursor({9, 21})) << t.dump();
    EXPECT_EQ(t.row(6).substr(0, 10), "Opened \xE2\x90\x9B");
    t.send("x");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0));
}

TEST(FrameOnTerminal, UnicodeNamesKeepTheCursorInStep) {
    FakeRun run("ferrowin", {"device = Haut-parleurs St\\xc3\\xa9r\\xc3\\xa9o", "device = \\xe6\\x97\\xa5\\xe6\\x9c\\xac",
                             "device = bad\\xc3(", "default_device = bad\\xc3("}, "");
    TerminalSession& t = run.t();
    ASSERT_TRUE(t.waitForCursor({6, 0})) << t.dump();
    EXPECT_EQ(t.row(3), "1. Haut-parleurs St\xC3\xA9r\xC3\xA9o");
    EXPECT_EQ(t.row(4), "2. \xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(t.row(5), "3. bad\xEF\xBF\xBD( (DEFAULT)");
    EXPECT_EQ(t.cell(5, 7), "(");
}

TEST(FrameOnTerminal, LongNameIsCutTo250CellsButOpenedWhole) {
    const std::string name = std::string(247, 'n') + "XYZ" + std::string(50, 'm');
    FakeRun run("ferrowin", {"device = " + name, "efx_extension = no"}, "");
    TerminalSession& t = run.t();
    // "1. " and the first 247 characters make the 250 shown: three full
    // rows and ten cells; "XYZ" would be the 251st to 253rd.
    ASSERT_TRUE(t.waitForCursor({7, 0})) << t.dump();
    EXPECT_EQ(t.row(3), "1. " + std::string(77, 'n'));
    EXPECT_EQ(t.row(6), std::string(10, 'n'));
    EXPECT_FALSE(t.waitForText("XYZ", std::chrono::milliseconds(0)));
    t.send("1x");
    ASSERT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    const std::vector<std::string> log = run.sandbox->logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "alcOpenDevice(\"" + name + "\") -> dev1"), log.end());
}

TEST(FrameOnTerminal, StartingOnTheBottomRowScrollsTheScreen) {
    std::string initial;
    for (int i = 1; i <= 9; ++i) initial += "old " + std::to_string(i) + "\r\n";
    FakeRun run("ferrowin", {"device = A"}, initial, 10, 40);
    TerminalSession& t = run.t();
    ASSERT_TRUE(t.waitForText("1. A (DEFAULT)")) << t.dump();
    ASSERT_TRUE(t.waitForCursor({9, 0})) << t.dump();
    EXPECT_EQ(t.row(4), "old 9");
    EXPECT_EQ(t.row(5), "Ferrowin Application");
    EXPECT_EQ(t.row(6), "");
    EXPECT_EQ(t.row(7), "Select OpenAL device:");
    EXPECT_EQ(t.row(8), "1. A (DEFAULT)");
    EXPECT_EQ(t.row(9), "");
}

TEST(FrameOnTerminal, SignalsLeaveTheTerminalAsItWas) {
    const struct {
        const char* name;
        int signal;
        bool by_key;
    } cases[] = {{"Ctrl+C", SIGINT, true}, {"Ctrl+\\", SIGQUIT, true}, {"SIGTERM", SIGTERM, false},
                 {"SIGHUP", SIGHUP, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRun run("quorvel", {"device = A"});
        TerminalSession& t = run.t();
        ASSERT_TRUE(t.waitForCursor({5, 0})) << t.dump();
        if (c.by_key)
            t.send(c.signal == SIGINT ? "\x03" : "\x1c");
        else
            t.kill(c.signal);
        EXPECT_EQ(t.waitExit(), ExitStatus::killedBy(c.signal)) << t.dump();
        EXPECT_EQ(t.terminalModeChanges(), "");
        EXPECT_EQ(t.row(5), "") << "nothing is printed on the way out";
    }
}

// A terminal that does not answer the cursor request: open console waits a
// moment, then starts on a fresh bottom row.
struct SilentTerminalRun : FakeRun {
    SilentTerminalRun() : FakeRun("ferrowin", {"device = A", "efx_extension = no"}, "", 24, 80, false) {}
};

TEST(FrameOnTerminal, SignalWhileWaitingForTheTerminalLeavesItAsItWas) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        SilentTerminalRun run;
        TerminalSession& t = *run.terminal;
        ASSERT_TRUE(t.waitUntil([&] { return t.output().find("\x1b[6n") != std::string::npos; })) << t.dump();
        t.kill(signal);
        EXPECT_EQ(t.waitExit(), ExitStatus::killedBy(signal)) << t.dump();
        EXPECT_EQ(t.terminalModeChanges(), "");
    }
}

TEST(FrameOnTerminal, LateCursorAnswerIsNoKey) {
    SilentTerminalRun run;
    TerminalSession& t = *run.terminal;
    ASSERT_TRUE(t.waitForText("1. A (DEFAULT)")) << t.dump();
    // The menu's last line end may come in a later write than its text.
    ASSERT_TRUE(t.waitForCursor({23, 0})) << t.dump();
    EXPECT_EQ(t.row(21), "Select OpenAL device:");
    EXPECT_EQ(t.row(22), "1. A (DEFAULT)");
    EXPECT_EQ(t.cursor(), (Position{23, 0}));
    t.send("\x1b[1;1R");  // the answer, long after it was asked for
    t.pumpFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(t.exitStatus().running()) << "the late answer was taken as the menu key";
    t.send("1x");
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_TRUE(t.waitForText("Opened A Device")) << t.dump();
}

TEST(FrameOnTerminal, OutputPipeClosedLeavesTheTerminalAsItWas) {
    // Keys from the terminal, output into a pipe whose reader stops early:
    // the next print meets a closed pipe.
    fakeal::Sandbox sandbox({"device = A"});
    SessionOptions options;
    options.argv = {"/bin/sh", "-c", std::string(FERROWIN_PATH) + " | head -c 5; echo; echo done"};
    for (const auto& [name, value] : as_environment(sandbox.environment())) options.env[name] = value;
    TerminalSession t(options);
    ASSERT_TRUE(t.waitForText("Ferro")) << t.dump();
    t.pumpFor(std::chrono::milliseconds(300));  // head has gone by now
    t.send("1");
    ASSERT_TRUE(t.waitForText("done")) << t.dump();
    EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
    EXPECT_EQ(t.terminalModeChanges(), "");
}

TEST(FrameOnTerminal, TerminalGoingAwayEndsTheProgram) {
    FakeRun run("ferrowin", {"device = A"});
    TerminalSession& t = run.t();
    ASSERT_TRUE(t.waitForCursor({5, 0})) << t.dump();
    t.hangUp();
    EXPECT_EQ(t.waitExit(), ExitStatus::killedBy(SIGHUP));
    const std::vector<std::string> log = run.sandbox->logLines();
    EXPECT_TRUE(std::none_of(log.begin(), log.end(),
                             [](const std::string& l) { return l.rfind("alcOpenDevice", 0) == 0; }));
}

TEST(FrameOnTerminal, BothProgramsRunOnOpenALSoft) {
    for (const char* program : {QUORVEL_PATH, FERROWIN_PATH}) {
        SCOPED_TRACE(program);
        SessionOptions options;
        options.argv = {program};
        options.env = {{"ALSOFT_DRIVERS", "null"}, {"ALSOFT_CONF", "/dev/null"}};
        options.workdir = std::string(program).substr(0, std::string(program).rfind('/'));
        options.initialContent = kPrompt;
        options.rows = 40;
        TerminalSession t(options);
        ASSERT_TRUE(t.waitForText(" (DEFAULT)")) << t.dump();
        EXPECT_EQ(t.row(3), "Select OpenAL device:");
        EXPECT_EQ(t.row(4).substr(0, 3), "1. ");
        const std::string device = t.row(4).substr(3, t.row(4).size() - 3 - 10);
        t.send("1");
        ASSERT_TRUE(t.waitForText("Press any key to exit", std::chrono::seconds(30))) << t.dump();
        EXPECT_EQ(t.row(6), "Opened " + device + " Device");
        const Position end = t.cursor();
        EXPECT_EQ(t.row(end.row), "Press any key to exit");
        EXPECT_EQ(end.col, 21);
        t.send(" ");
        EXPECT_EQ(t.waitExit(), ExitStatus::exitedWith(0)) << t.dump();
        EXPECT_EQ(t.terminalModeChanges(), "");
    }
}

}  // namespace
