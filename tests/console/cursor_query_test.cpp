// The cursor query over a pipe pair: the test plays the terminal, writing
// its answers into one pipe before each request and reading the requests
// from the other; and the answer picked out of keys typed around it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/posix/terminal_input.hpp"

namespace {

struct CursorCase {
    const char* name;
    bool keys_terminal;                // the answering terminal is the keys' own
    std::vector<std::string> answers;  // what the terminal has sent before each request
    bool found;                        // of the last request
    int row, column;
    std::string keys_left;
};

const CursorCase kCursorCases[] = {
    {"answer_in_time", true, {"\x1b[5;9R"}, true, 5, 9, ""},
    {"no_answer", true, {""}, false, 0, 0, ""},
    {"position_zero_is_no_position", true, {"\x1b[0;0R"}, false, 0, 0, ""},
    {"keys_typed_ahead_stay_keys", true, {"a\x1b[4;1R"}, true, 4, 1, "a"},
    {"late_answer_then_the_current_one", true, {"", "\x1b[2;2R\x1b[7;3R"}, true, 7, 3, ""},
    {"late_answer_alone_is_not_the_current_one", true, {"", "\x1b[2;2R"}, false, 0, 0, ""},
    {"late_answer_on_another_terminal", false, {"", "x\x1b[2;2Ry\x1b[7;3R"}, true, 7, 3, ""},
};

void PrintTo(const CursorCase& c, std::ostream* os) { *os << c.name; }

class CursorQueryRows : public testing::TestWithParam<CursorCase> {};

TEST_P(CursorQueryRows, TakeTheAnswerToTheirOwnRequest) {
    const CursorCase& c = GetParam();
    int answers[2];
    int requests[2];
    ASSERT_EQ(pipe(answers), 0);
    ASSERT_EQ(pipe(requests), 0);
    TerminalInput input(TerminalInput::Timing{50, 2000});
    input.reset(requests[1], answers[0], c.keys_terminal, true);
    bool found = false;
    int row = 0;
    int column = 0;
    for (const std::string& answer : c.answers) {
        ASSERT_EQ(write(answers[1], answer.data(), answer.size()), ssize_t(answer.size()));
        found = input.ask_cursor(row, column);
    }
    EXPECT_EQ(found, c.found);
    if (c.found) {
        EXPECT_EQ(row, c.row);
        EXPECT_EQ(column, c.column);
    }
    std::string keys;
    for (KeyText key = input.read_key(); !key.empty(); key = input.read_key()) keys += key.chars;
    EXPECT_EQ(keys, c.keys_left);
    std::string sent(64, '\0');
    sent.resize(size_t(read(requests[0], sent.data(), sent.size())));
    std::string requested;
    for (size_t i = 0; i < c.answers.size(); ++i) requested += "\x1b[6n";
    EXPECT_EQ(sent, requested);
    for (int fd : {answers[0], answers[1], requests[0], requests[1]}) close(fd);
}

INSTANTIATE_TEST_SUITE_P(Rows, CursorQueryRows, testing::ValuesIn(kCursorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CursorReport, TypedAheadKeysSurviveAroundTheAnswer) {
    struct Case {
        std::string bytes;
        bool found;
        int row, column;
        std::string left;
    } cases[] = {
        {"\x1b[12;40R", true, 12, 40, ""},
        {"1\x1b[3;7R2", true, 3, 7, "12"},
        {"\x1b[A\x1b[5;1R", true, 5, 1, "\x1b[A"},
        {"\x1b\x1b[24;80Rq", true, 24, 80, "\x1bq"},
        {"\x1b[12;4", false, 0, 0, "\x1b[12;4"},
        {"\x1b[;4R", false, 0, 0, "\x1b[;4R"},
    };
    for (Case& c : cases) {
        int row = 0;
        int column = 0;
        std::string bytes = c.bytes;
        EXPECT_EQ(take_cursor_report(bytes, row, column), c.found) << testing::PrintToString(c.bytes);
        EXPECT_EQ(bytes, c.left);
        if (c.found) {
            EXPECT_EQ(row, c.row);
            EXPECT_EQ(column, c.column);
        }
    }
}

}  // namespace
