// Keys from terminal bytes.

#include <gtest/gtest.h>

#include <string>

#include "console/posix/key_decoder.hpp"

namespace {

struct KeyCase {
    std::string bytes;
    bool more_may_follow;
    int first;         // expected first character code
    size_t consumed;   // 0: wait for more bytes
};

TEST(KeyDecoder, EachSequenceIsOneKey) {
    const KeyCase cases[] = {
        {"1", false, '1', 1},
        {"12", false, '1', 1},
        {"\r", false, 13, 1},
        {"\x7f", false, 127, 1},
        {std::string(1, '\0'), false, 255, 1},
        {"\x1b", false, 27, 1},
        {"\x1b", true, 0, 0},
        {"\x1b\x1b[A", true, 27, 1},
        {"\x1b[A", true, 255, 3},
        {"\x1b[1;5C9", true, 255, 6},
        {"\x1b[15~", true, 255, 5},
        {"\x1b[15", true, 0, 0},
        {"\x1b[15", false, 255, 4},
        {"\x1bOP", true, 255, 3},
        {"\x1bx", true, 255, 2},
        {"\xC3\xA9z", true, 0xC3, 2},
        {"\xC3", true, 0, 0},
        {"\xC3", false, 0xC3, 1},
        {"\xE2\x82\xAC", true, 0xE2, 3},
    };
    for (const KeyCase& c : cases) {
        KeyText key;
        const size_t consumed = decode_terminal_key(c.bytes, true, c.more_may_follow, key);
        EXPECT_EQ(consumed, c.consumed) << testing::PrintToString(c.bytes);
        if (c.consumed != 0) {
            EXPECT_EQ(key.first(), c.first) << testing::PrintToString(c.bytes);
        }
    }
}

TEST(KeyDecoder, EightBitTerminalTakesOneByteAKey) {
    KeyText key;
    EXPECT_EQ(decode_terminal_key("\xE9x", false, true, key), 1u);
    EXPECT_EQ(key.first(), 0xE9);
}

}  // namespace
