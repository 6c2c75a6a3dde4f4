// The screen rules of print and print line, run against an in-memory
// screen: where the text lands, where the cursor ends, when the screen
// scrolls.

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>
#include <vector>

#include "console/console.hpp"
#include "console/text_cells.hpp"
#include "memory_screen.hpp"

namespace {

struct Step {
    bool line;          // print line rather than print
    const char* text;   // may be null
};

struct ScreenCase {
    const char* name;
    int width, height, start_x, start_y;
    std::vector<Step> steps;
    std::vector<std::pair<int, std::string>> rows;  // row index, expected text
    int cursor_x, cursor_y;
    int scrolls;
    int window_width = 0;  // narrower than the rows: a Windows console buffer
};

void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.name; }

const std::string k20 = "ABCDEFGHIJKLMNOPQRST";
const std::string k80 = std::string(40, 'x') + std::string(40, 'y');
const std::string k300 = std::string(250, 'a') + std::string(50, 'b');

const std::vector<ScreenCase> kCases = {
    {"empty text changes nothing", 80, 24, 7, 3, {{false, ""}, {false, nullptr}}, {{3, ""}}, 7, 3, 0},
    {"empty print line at column 0 leaves an empty row", 80, 24, 0, 3,
     {{true, ""}, {false, "z"}}, {{3, ""}, {4, "z"}}, 1, 4, 0},
    {"empty print line at column 5 only moves down", 80, 24, 0, 3,
     {{false, "hello"}, {true, ""}}, {{3, "hello"}, {4, ""}}, 0, 4, 0},
    {"three characters at column 10", 80, 24, 10, 2, {{false, "abc"}},
     {{2, "          abc"}}, 13, 2, 0},
    {"text filling the rest of the row exactly", 80, 24, 70, 2,
     {{false, "0123456789"}, {true, ""}},
     {{2, std::string(70, ' ') + "0123456789"}, {3, ""}}, 0, 4, 0},
    {"text wraps onto the next row", 80, 24, 78, 5, {{false, "abcd"}},
     {{5, std::string(78, ' ') + "ab"}, {6, "cd"}}, 2, 6, 0},
    {"print line on the bottom row scrolls", 80, 4, 0, 3,
     {{false, "top"}, {true, "bottom"}}, {{2, "topbottom"}, {3, ""}}, 0, 3, 1},
    {"twenty characters at column 70 of the bottom row", 80, 4, 70, 3,
     {{false, k20.c_str()}},
     {{2, std::string(70, ' ') + k20.substr(0, 10)}, {3, k20.substr(10)}}, 10, 3, 1},
    {"eighty characters at column 0 of the bottom row", 80, 4, 0, 3,
     {{false, k80.c_str()}}, {{2, k80}, {3, ""}}, 0, 3, 1},
    {"a long text is cut to 250 characters", 80, 24, 0, 0,
     {{false, k300.c_str()}},
     {{0, std::string(80, 'a')}, {3, std::string(10, 'a')}, {4, ""}}, 10, 3, 0},
    {"a line feed byte takes one cell and starts no row", 80, 24, 0, 1,
     {{false, "a\nb"}}, {{1, "a\xE2\x90\x8A" "b"}, {2, ""}}, 3, 1, 0},
    {"escape sequences are shown, not obeyed", 80, 24, 0, 0,
     {{false, "\x1b[2J\x07"}}, {{0, "\xE2\x90\x9B[2J\xE2\x90\x87"}}, 5, 0, 0},
    {"UTF-8 letters take one cell each", 80, 24, 0, 0,
     {{false, "St\xC3\xA9r\xC3\xA9o!"}}, {{0, "St\xC3\xA9r\xC3\xA9o!"}}, 7, 0, 0},
    {"wide and malformed characters take one replacement cell", 80, 24, 0, 0,
     {{false, "\xE6\x97\xA5|\xFF|\xC3"}},
     {{0, "\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD"}}, 5, 0, 0},
    {"text longer than the rows below scrolls several times", 10, 3, 5, 2,
     {{false, "0123456789abcdef"}}, {{0, "     01234"}, {1, "56789abcde"}, {2, "f"}}, 1, 2, 2},
    // The room check counts the window's 80 columns; the text wraps at the
    // buffer's 100.
    {"room is counted in the window, wrapping in the buffer", 100, 4, 70, 3,
     {{false, k20.c_str()}}, {{2, std::string(70, ' ') + k20}, {3, ""}}, 90, 2, 1, 80},
    {"a window-wide text on the bottom row fits the buffer row", 100, 4, 0, 3,
     {{false, k80.c_str()}}, {{2, k80}, {3, ""}}, 80, 2, 1, 80},
};

class ScreenLogic : public ::testing::TestWithParam<ScreenCase> {
protected:
    static void SetUpTestSuite() { std::setlocale(LC_CTYPE, "C.UTF-8"); }
};

TEST_P(ScreenLogic, TextAndCursorLandWhereTheRulesSay) {
    const ScreenCase& c = GetParam();
    MemoryScreen screen(c.width, c.height, c.start_x, c.start_y, true, c.window_width);
    use_console_backend(&screen);
    ASSERT_NE(open_console(), 0);
    for (const Step& step : c.steps) {
        if (step.line)
            print_line(step.text);
        else
            print(step.text);
    }
    close_console();
    use_console_backend(nullptr);

    for (const auto& [row, text] : c.rows) EXPECT_EQ(screen.row(row), text) << "row " << row;
    EXPECT_EQ(screen.visible_x, c.cursor_x);
    EXPECT_EQ(screen.visible_y, c.cursor_y);
    EXPECT_EQ(screen.scrolls, c.scrolls);
    EXPECT_EQ(screen.writes_outside, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScreenLogic, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(ConsoleServices, SecondOpenKeepsTheFirstSnapshot) {
    MemoryScreen screen(80, 24, 4, 2);
    use_console_backend(&screen);
    EXPECT_NE(open_console(), 0);
    screen.visible_x = 50;  // the terminal's cursor moved behind our back
    screen.visible_y = 20;
    EXPECT_EQ(open_console(), 0);
    print("x");
    close_console();
    use_console_backend(nullptr);
    EXPECT_EQ(screen.attaches, 1);
    EXPECT_EQ(screen.registrations, 1);
    EXPECT_EQ(screen.row(2), "    x");
    EXPECT_EQ(screen.visible_x, 5);
    EXPECT_EQ(screen.detaches, 1);
}

TEST(ConsoleServices, OutputThatIsNoScreenGetsPlainLines) {
    MemoryScreen screen(0, 0, 0, 0, /*is_screen=*/false);
    use_console_backend(&screen);
    open_console();
    print("Select ");
    print_line("device:");
    print_line("");
    print_line("tab\there \x1b[1m St\xC3\xA9r\xC3\xA9o");
    print(std::string(300, 'x').c_str());
    print_line("");
    print("Press any key to exit");
    close_console();
    use_console_backend(nullptr);
    EXPECT_EQ(screen.stream, "Select device:\n\ntab\there \x1b[1m St\xC3\xA9r\xC3\xA9o\n" + std::string(250, 'x') +
                                 "\nPress any key to exit");
}

TEST(ConsoleServices, NothingHappensWhileClosed) {
    MemoryScreen screen(80, 24, 0, 0);
    screen.keys = {'1'};
    use_console_backend(&screen);
    print_line("too early");
    EXPECT_TRUE(poll_key().empty());
    open_console();
    EXPECT_EQ(poll_key().first(), '1');
    EXPECT_TRUE(poll_key().empty());
    close_console();
    use_console_backend(nullptr);
    EXPECT_EQ(screen.row(0), "");
    EXPECT_EQ(screen.commits, 0);
}

TEST(ConsoleServices, EndOfTheKeysIsAKeyWithoutACharacter) {
    MemoryScreen screen(80, 24, 0, 0);
    screen.keys = {'1'};
    screen.keys_end = true;
    use_console_backend(&screen);
    open_console();
    EXPECT_EQ(poll_key().first(), '1');
    EXPECT_EQ(poll_key().first(), 255);
    EXPECT_EQ(poll_key().first(), 255);
    close_console();
    use_console_backend(nullptr);
}

}  // namespace

namespace {

TEST(TextCells, WithoutUtf8OnlyPrintableAsciiPasses) {
    std::string shown;
    for (const Cell& cell : text_to_cells("ok\x1b[1m\xC3\xA9\x9b\x7f", false, kMaxPrintCells))
        append_utf8(shown, cell.code_point);
    EXPECT_EQ(shown, "ok?[1m????");
}

}  // namespace
