// The Windows console backend's console-free parts: the detection title, the
// window search and the copy of the cells into CHAR_INFO entries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/console_win32.h"

namespace {

std::vector<int> randomValues;
size_t randomNext = 0;

int scriptedRandom() {
    return randomValues[randomNext++ % randomValues.size()];
}

TEST(Win32DetectionTitle, PrefixThenSixtyOneLettersFromTheMaskedRandomValues) {
    randomValues = {0x0000, 0x0001, 0x0010, 0x0011, 0x0020, 0x0021, 0x0030, 0x0031, 0x7FFF, 0x4ACE, 0x12};
    randomNext = 0;
    char title[Win32Console::DetectionTitleLength + 1];
    std::memset(title, '#', sizeof title);
    Win32Console::buildDetectionTitle(title, scriptedRandom);

    EXPECT_EQ(std::strlen(title), 80u);
    EXPECT_EQ(std::string(title, 19), "[detecting window] ");
    EXPECT_EQ(std::string(title + 19, 11), "ABQRabqrrAQ");
    EXPECT_EQ(randomNext, 61u) << "one random value per letter";
    for (int i = 19; i < 80; ++i)
        EXPECT_NE(std::strchr("ABQRabqr", title[i]), nullptr) << "position " << i << ": " << title[i];
}

// The search's calls in order: 'p' for a pause of 10 ms, 'l' for a lookup.
std::string searchLog;
int lookupsUntilFound = 0;
HWND const FoundWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));

HWND scriptedLookup(const char* title) {
    EXPECT_STREQ(title, "wanted");
    searchLog += 'l';
    return --lookupsUntilFound == 0 ? FoundWindow : nullptr;
}

void loggedPause(DWORD ms) {
    searchLog += ms == 10 ? 'p' : '?';
}

TEST(Win32WindowSearch, SleepsBeforeEveryLookupAndGivesUpAfterAHundred) {
    searchLog.clear();
    lookupsUntilFound = -1;
    EXPECT_EQ(Win32Console::findWindowByTitle("wanted", scriptedLookup, loggedPause), nullptr);
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "pl";
    EXPECT_EQ(searchLog, expected);
}

TEST(Win32WindowSearch, StopsAtTheFirstWindowFound) {
    searchLog.clear();
    lookupsUntilFound = 3;
    EXPECT_EQ(Win32Console::findWindowByTitle("wanted", scriptedLookup, loggedPause), FoundWindow);
    EXPECT_EQ(searchLog, "plplpl");
}

TEST(Win32Presentation, CharacterIsTheLowByteAndTheAttributeIsZeroExtended) {
    const std::vector<uint16_t> cells = {0x8F41, 0x0720, 0xFFFF, 0x00DB, 0x7F94};
    std::vector<CHAR_INFO> out(cells.size());
    Win32Console::fillCharInfo(cells.data(), out.data(), static_cast<int>(cells.size()));
    const WORD attributes[] = {0x008F, 0x0007, 0x00FF, 0x0000, 0x007F};
    const unsigned char characters[] = {0x41, 0x20, 0xFF, 0xDB, 0x94};
    for (size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(out[i].Attributes, attributes[i]) << "cell " << i;
        EXPECT_EQ(static_cast<unsigned char>(out[i].Char.AsciiChar), characters[i]) << "cell " << i;
    }
}

}  // namespace
