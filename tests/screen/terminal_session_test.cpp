// Tests of the screen harness itself, driven by printf and /bin/sh.
#include "terminal_session.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace screen {
namespace {

using namespace std::chrono_literals;

SessionOptions shell(std::string script) { return {.argv = {"/bin/sh", "-c", std::move(script)}}; }

// printf '%s' writes the bytes exactly as given.
struct PlacementCase {
    const char* name;
    std::string initial;
    std::string printed;
    Position startCursor;                        // where the initial content left the cursor
    std::vector<std::pair<int, std::string>> rows;  // row, text with trailing blanks trimmed
    std::vector<std::tuple<int, int, std::string>> cells;
    Position cursor;
    int height = 24, width = 80;
};

TEST(TerminalSession, OutputLandsInTheRightCells) {
    const std::string a85(85, 'a');
    const PlacementCase cases[] = {
        {"plain text", "", "hello", {0, 0}, {{0, "hello"}}, {{0, 4, "o"}, {0, 5, " "}}, {0, 5}},
        {"newline is CR LF on a cooked tty", "", "ab\ncd", {0, 0}, {{0, "ab"}, {1, "cd"}}, {}, {1, 2}},
        {"cursor addressing", "", "\x1b[5;10HX", {0, 0}, {{4, "         X"}}, {{4, 9, "X"}}, {4, 10}},
        {"UTF-8 text", "", "é€x", {0, 0}, {{0, "é€x"}}, {{0, 0, "é"}, {0, 1, "€"}, {0, 2, "x"}}, {0, 3}},
        {"wide character", "", "中x", {0, 0}, {{0, "中x"}}, {{0, 0, "中"}, {0, 1, ""}, {0, 2, "x"}}, {0, 3}},
        {"wraps at the width", "", a85, {0, 0}, {{0, std::string(80, 'a')}, {1, "aaaaa"}}, {}, {1, 5}},
        {"scrolls at the bottom", "", "1\n2\n3\n4\n5\n6", {0, 0},
         {{0, "2"}, {3, "5"}, {4, "6"}}, {}, {4, 1}, 5, 10},
        {"after a prompt", "$ ", "hi", {0, 2}, {{0, "$ hi"}}, {}, {0, 4}},
        {"prompt lines then the bottom row", "one\r\ntwo\r\n\x1b[24;1H", "x", {23, 0},
         {{0, "one"}, {1, "two"}, {2, ""}, {23, "x"}}, {}, {23, 1}},
        {"bottom row, column 70, 20 characters", "\x1b[24;71H", std::string(20, 'b'), {23, 70},
         {{22, std::string(70, ' ') + std::string(10, 'b')}, {23, std::string(10, 'b')}}, {}, {23, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TerminalSession s({.argv = {"printf", "%s", c.printed}, .rows = c.height, .cols = c.width,
                           .initialContent = c.initial});
        EXPECT_EQ(s.cursor(), c.startCursor);  // nothing read from the program yet
        ASSERT_EQ(s.waitExit(), ExitStatus::exitedWith(0)) << s.dump();
        for (const auto& [r, text] : c.rows) EXPECT_EQ(s.row(r), text) << "row " << r << "\n" << s.dump();
        for (const auto& [r, col, text] : c.cells) EXPECT_EQ(s.cell(r, col), text) << r << "," << col;
        EXPECT_EQ(s.cursor(), c.cursor) << s.dump();
    }
}

TEST(TerminalSession, RowKeepsTrailingBlanksOnRequest) {
    TerminalSession s({.argv = {"printf", "%s", "ab"}, .cols = 10});
    ASSERT_TRUE(s.waitForExit());
    EXPECT_EQ(s.row(0, Trailing::Keep), "ab        ");
    EXPECT_EQ(s.lines().size(), 24u);
    EXPECT_THROW(s.cell(24, 0), std::out_of_range);
}

// Keys go in through the terminal: line editing and echo in cooked mode,
// single bytes in raw mode, control characters as signals.
TEST(TerminalSession, KeysReachTheProgram) {
    struct Case {
        const char* name;
        std::string script;
        std::string keys;
        std::vector<std::pair<int, std::string>> rows;
        std::string ready = "";  // shown once the program is ready for the keys
    };
    const Case cases[] = {
        {"cooked line with echo", R"sh(read -r line; printf 'got[%s]\n' "$line")sh", "abc\r",
         {{0, "abc"}, {1, "got[abc]"}}},
        {"erase key edits the line", R"sh(read -r line; printf 'got[%s]\n' "$line")sh", "abx\x7f" "c\r",
         {{1, "got[abc]"}}},
        {"raw single key, no echo",
         R"sh(stty raw -echo; printf '>'; k=$(dd bs=1 count=1 2>/dev/null); stty -raw echo; printf 'key[%s]' "$k")sh",
         "q", {{0, ">key[q]"}}, ">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TerminalSession s(shell(c.script));
        ASSERT_TRUE(s.waitForText(c.ready)) << s.dump();
        s.send(c.keys);
        ASSERT_EQ(s.waitExit(), ExitStatus::exitedWith(0)) << s.dump();
        for (const auto& [r, text] : c.rows) EXPECT_EQ(s.row(r), text) << s.dump();
    }
}

// The program asks where the cursor is; the emulator's answer comes back on
// its input, as from a real terminal. The script reads the answer up to 'R'.
TEST(TerminalSession, CursorPositionQueryIsAnswered) {
    const std::string script =
        R"sh(stty -icanon -echo min 1; printf 'ab\033[6n'; r=;)sh"
        R"sh( while c=$(dd bs=1 count=1 2>/dev/null); [ "$c" != R ]; do r="$r$c"; done;)sh"
        R"sh( stty icanon echo; printf '\r\nreply[%s]' "$(printf '%s' "$r" | tr '\033' E)")sh";
    struct Case {
        std::string initial;
        std::string reply;
    };
    const Case cases[] = {{"", "reply[E[1;3]"}, {"\x1b[10;20H", "reply[E[10;22]"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        auto options = shell(script);
        options.initialContent = c.initial;
        TerminalSession s(options);
        ASSERT_TRUE(s.waitForText("reply[")) << s.dump();
        ASSERT_TRUE(s.waitForExit()) << s.dump();
        EXPECT_NE(s.dump().find(c.reply), std::string::npos) << s.dump();
    }
}

TEST(TerminalSession, ReportsHowTheProgramEnded) {
    enum class Action { None, Signal, Interrupt, HangUp };
    struct Case {
        const char* name;
        std::string script;
        Action action;
        ExitStatus expected;
    };
    const std::string sleeper = "echo ready; exec sleep 30";
    const Case cases[] = {
        {"exit 0", "exit 0", Action::None, ExitStatus::exitedWith(0)},
        {"exit 3", "exit 3", Action::None, ExitStatus::exitedWith(3)},
        {"kills itself", "kill -TERM $$", Action::None, ExitStatus::killedBy(SIGTERM)},
        {"signal sent", sleeper, Action::Signal, ExitStatus::killedBy(SIGUSR1)},
        {"Ctrl-C typed", sleeper, Action::Interrupt, ExitStatus::killedBy(SIGINT)},
        {"hang-up", sleeper, Action::HangUp, ExitStatus::killedBy(SIGHUP)},
        {"hang-up handled", "trap 'exit 7' HUP; echo ready; while :; do sleep 1; done", Action::HangUp,
         ExitStatus::exitedWith(7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TerminalSession s(shell(c.script));
        if (c.action != Action::None) {
            ASSERT_TRUE(s.waitForText("ready")) << s.dump();
            EXPECT_TRUE(s.exitStatus().running());
        }
        switch (c.action) {
        case Action::None: break;
        case Action::Signal: s.kill(SIGUSR1); break;
        case Action::Interrupt: s.send("\x03"); break;
        case Action::HangUp: s.hangUp(); break;
        }
        EXPECT_EQ(s.waitExit(), c.expected) << s.dump();
    }
}

// Whether the program left the terminal modes as it found them; read after
// it has ended.
TEST(TerminalSession, DetectsTerminalModesLeftChanged) {
    struct Case {
        std::string script;
        std::vector<std::string> changes;  // parts of the report; none: restored
    };
    const Case cases[] = {
        {"true", {}},
        {R"sh(saved=$(stty -g); stty raw -echo; stty "$saved")sh", {}},
        {"stty raw -echo", {"c_lflag", "ICANON", "ECHO", "c_iflag", "ICRNL", "c_oflag", "OPOST"}},
        {"stty -icanon min 0 time 5", {"ICANON cleared", "c_cc[VMIN] 1 -> 0", "c_cc[VTIME] 0 -> 5"}},
        {"stty -echo", {"c_lflag", "ECHO cleared"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TerminalSession s(shell(c.script));
        ASSERT_EQ(s.waitExit(), ExitStatus::exitedWith(0)) << s.dump();
        ASSERT_TRUE(s.termiosNow().has_value());
        const std::string report = s.terminalModeChanges();
        if (c.changes.empty()) {
            EXPECT_EQ(report, "");
        }
        for (const auto& part : c.changes) EXPECT_NE(report.find(part), std::string::npos) << report;
    }
}

TEST(TerminalSession, StartsInCookedModeAndForgetsModesAfterHangUp) {
    TerminalSession s(shell("echo ready; exec sleep 30"));
    const termios& t = s.termiosAtStart();
    EXPECT_TRUE((t.c_lflag & ICANON) && (t.c_lflag & ECHO) && (t.c_lflag & ISIG));
    EXPECT_TRUE((t.c_oflag & OPOST) && (t.c_oflag & ONLCR) && (t.c_iflag & ICRNL));
    ASSERT_TRUE(s.waitForText("ready"));
    s.hangUp();
    EXPECT_FALSE(s.termiosNow().has_value());
    EXPECT_EQ(s.terminalModeChanges(), "terminal hung up\n");
}

TEST(TerminalSession, ChildGetsEnvironmentDirectoryAndControllingTerminal) {
    auto options = shell(R"sh(printf '%s|%s|%s|%s|%s|%s\n' "$TERM" "$LANG" "$LC_ALL" "$FOO" "${HOME-unset}" "$(pwd)";)sh"
                         R"sh( stty size; [ -t 0 ] && [ -t 1 ] && (: </dev/tty) && echo ctty)sh");
    options.env = {{"FOO", "bar"}, {"LC_ALL", "C"}};
    options.unsetEnv = {"HOME"};
    options.workdir = "/tmp";
    options.rows = 30;
    options.cols = 100;
    TerminalSession s(options);
    ASSERT_EQ(s.waitExit(), ExitStatus::exitedWith(0)) << s.dump();
    EXPECT_EQ(s.row(0), "xterm-256color|C.UTF-8|C|bar|unset|/tmp") << s.dump();
    EXPECT_EQ(s.row(1), "30 100");
    EXPECT_EQ(s.row(2), "ctty");
}

TEST(TerminalSession, WaitsEndAtTheTimeoutOrWhenNothingCanChange) {
    {
        TerminalSession s({.argv = {"sleep", "30"}});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(s.waitForText("never", 300ms));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 300ms);
        EXPECT_LT(took, 5s);  // far beyond a late wake-up, far below the 30 s of the program
        EXPECT_EQ(s.waitExit(100ms), ExitStatus{});  // still running
    }
    {
        TerminalSession s({.argv = {"printf", "done"}});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(s.waitForText("never"));  // ended: no need to sit out the default timeout
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_TRUE(s.waitForRowText(0, "done"));
        EXPECT_TRUE(s.waitForCursor({0, 4}));
    }
}

TEST(TerminalSession, FailedStartThrows) {
    EXPECT_THROW(TerminalSession({.argv = {"/nonexistent/program"}}), std::runtime_error);
    EXPECT_THROW(TerminalSession({.argv = {"true"}, .workdir = "/nonexistent"}), std::runtime_error);
    EXPECT_THROW(TerminalSession({.argv = {}}), std::invalid_argument);
}

}  // namespace
}  // namespace screen
