// The terminal's answers about its cells picked out of its input, and
// every other byte kept as a key typed meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "display/terminal_replies.h"

namespace {

using namespace std::string_view_literals;

TEST(TerminalReplies, AnswersAreTakenAndKeysAroundThemKept) {
    struct Case {
        std::string_view bytes;
        int cellWidth, cellHeight, areaWidth, areaHeight;
        bool attributes;
        int32_t key;
        size_t cutShort;
    };
    const Case cases[] = {
        // All three answers (VTE's 10x19 cells, 80x24 of them).
        {"\x1b[6;19;10t\x1b[4;456;800t\x1b[?65;1;9c"sv, 10, 19, 800, 456, true, 0, 0},
        // A terminal without the window operations answers only the last.
        {"\x1b[?62;22c"sv, 0, 0, 0, 0, true, 0, 0},
        // A key before, between and after: the first one is the key.
        {"q\x1b[6;19;10tx"sv, 10, 19, 0, 0, false, 'q', 0},
        {"\x1b[6;19;10t\x1b[Aq\x1b[?6c"sv, 10, 19, 0, 0, true, 0x1b, 0},  // cursor up
        {"\x1b"
         "x\x1b[4;600;640t"sv,
         0, 0, 640, 600, false, 0x1b, 0},              // Alt+x
        {"\0\x1b[?6c"sv, 0, 0, 0, 0, true, 0x100, 0},  // Ctrl+Space
        // Sequences like answers that are not: other reports, odd numbers.
        {"\x1b[8;24;80t"sv, 0, 0, 0, 0, false, 0x1b, 0},
        {"\x1b[6;19t"sv, 0, 0, 0, 0, false, 0x1b, 0},
        {"\x1b[6;19;10;1t"sv, 0, 0, 0, 0, false, 0x1b, 0},
        {"\x1b[6;;10t"sv, 0, 0, 0, 0, false, 0x1b, 0},
        {"\x1b[6;99999;10t"sv, 0, 0, 0, 0, false, 0x1b, 0},
        {"\x1b[62c"sv, 0, 0, 0, 0, false, 0x1b, 0},
        // Cut short at the end: kept for the next read, not yet a key.
        {"\x1b[6;19;1"sv, 0, 0, 0, 0, false, 0, 8},
        {"\x1b[4;600;640t\x1b"sv, 0, 0, 640, 600, false, 0, 1},
        {"\x1b["sv, 0, 0, 0, 0, false, 0, 2},
    };
    for (const Case& c : cases) {
        TerminalReplies r;
        const size_t cutShort = readReplies(c.bytes, r);
        const std::string name = "bytes " + testing::PrintToString(std::string(c.bytes));
        EXPECT_EQ(r.cellWidth, c.cellWidth) << name;
        EXPECT_EQ(r.cellHeight, c.cellHeight) << name;
        EXPECT_EQ(r.areaWidth, c.areaWidth) << name;
        EXPECT_EQ(r.areaHeight, c.areaHeight) << name;
        EXPECT_EQ(r.attributes, c.attributes) << name;
        EXPECT_EQ(r.key, c.key) << name;
        EXPECT_EQ(cutShort, c.cutShort) << name;
    }
}

TEST(TerminalReplies, AnAnswerSplitAcrossReadsIsOneAnswer) {
    const std::string_view whole = "\x1b[6;19;10t\x1b[?62c"sv;
    for (size_t split = 1; split < whole.size(); ++split) {
        TerminalReplies r;
        std::string first(whole.substr(0, split));
        const size_t kept = readReplies(first, r);
        const std::string rest = first.substr(first.size() - kept) + std::string(whole.substr(split));
        EXPECT_EQ(readReplies(rest, r), 0u) << split;
        EXPECT_EQ(r.cellWidth, 10) << split;
        EXPECT_EQ(r.cellHeight, 19) << split;
        EXPECT_TRUE(r.attributes) << split;
        EXPECT_EQ(r.key, 0) << split;
    }
}

TEST(TerminalReplies, StatusAnswersAreCountedAndOtherReportsAreKeys) {
    struct Case {
        std::string_view bytes;
        int answers;
        int32_t key;
        size_t cutShort;
    };
    const Case cases[] = {
        {"\x1b[0n"sv, 1, 0, 0},           {"\x1b[0n\x1b[3n\x1b[0n"sv, 3, 0, 0},  // a terminal with a fault answers 3
        {"\x1b[0nq\x1b[0n"sv, 2, 'q', 0},                                        // a key between answers
        {"\x1b[?62c\x1b[0n"sv, 1, 0, 0},                                         // after the set-up's last answer
        {"\x1b[5n"sv, 0, 0x1b, 0},                                               // the query itself is no answer
        {"\x1b[00n"sv, 0, 0x1b, 0},       {"\x1b[?0n"sv, 0, 0x1b, 0},
        {"\x1b[0n\x1b[0"sv, 1, 0, 3},  // the next one cut short
    };
    for (const Case& c : cases) {
        TerminalReplies r;
        const size_t cutShort = readReplies(c.bytes, r);
        const std::string name = "bytes " + testing::PrintToString(std::string(c.bytes));
        EXPECT_EQ(r.statusAnswers, c.answers) << name;
        EXPECT_EQ(r.key, c.key) << name;
        EXPECT_EQ(cutShort, c.cutShort) << name;
    }
}

TEST(TerminalReplies, TheFirstKeyStaysTheKey) {
    TerminalReplies r;
    readReplies("a"sv, r);
    readReplies("\x1b[6;19;10tb"sv, r);
    EXPECT_EQ(r.key, 'a');
    EXPECT_EQ(keyCode(""sv), 0);
    EXPECT_EQ(keyCode("\xe9"sv), 0xe9);
}

}  // namespace
