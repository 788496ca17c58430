#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "display/cp437_utf8.h"

namespace {

// Decodes one UTF-8 character; -1 if the bytes are not a shortest-form encoding.
long decode(const Utf8Char& c) {
    const auto b = [&](int i) { return static_cast<unsigned char>(c.bytes[i]); };
    if (c.length == 1 && b(0) < 0x80) return b(0);
    if (c.length == 2 && (b(0) & 0xE0) == 0xC0 && (b(1) & 0xC0) == 0x80) {
        const long cp = ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        return cp >= 0x80 ? cp : -1;
    }
    if (c.length == 3 && (b(0) & 0xF0) == 0xE0 && (b(1) & 0xC0) == 0x80 && (b(2) & 0xC0) == 0x80) {
        const long cp = ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        return cp >= 0x800 ? cp : -1;
    }
    return -1;
}

}  // namespace

TEST(Cp437, EveryCodeIsOnePrintableCharacterEncodedCorrectly) {
    std::set<uint16_t> seen;
    for (int code = 0; code < 256; ++code) {
        const uint16_t cp = Cp437Unicode[code];
        SCOPED_TRACE(code);
        EXPECT_EQ(decode(Cp437Utf8[code]), cp);
        // Nothing a terminal would take as a control: no C0, DEL or C1 code.
        EXPECT_GE(cp, 0x20);
        EXPECT_FALSE(cp >= 0x7F && cp <= 0x9F);
        EXPECT_FALSE(cp >= 0xD800 && cp <= 0xDFFF);
        if (code != 0) {
            EXPECT_TRUE(seen.insert(cp).second) << "code point used twice";
        }
    }
}

TEST(Cp437, KnownCharacters) {
    for (int code = 0x20; code < 0x7F; ++code) EXPECT_EQ(Cp437Unicode[code], code);
    EXPECT_EQ(Cp437Unicode[0x00], 0x0020);  // draws nothing
    EXPECT_EQ(Cp437Unicode[0x01], 0x263A);  // smiley
    EXPECT_EQ(Cp437Unicode[0x7F], 0x2302);  // house
    EXPECT_EQ(Cp437Unicode[0x94], 0x00F6);  // ö
    EXPECT_EQ(Cp437Unicode[0xB0], 0x2591);  // light shade
    EXPECT_EQ(Cp437Unicode[0xC9], 0x2554);  // double box corner
    EXPECT_EQ(Cp437Unicode[0xDB], 0x2588);  // full block
    EXPECT_EQ(Cp437Unicode[0xE1], 0x00DF);  // sharp s
    EXPECT_EQ(Cp437Unicode[0xFF], 0x00A0);  // no-break space
}

TEST(Cp437, StringConversion) {
    char out[64];
    const char* title = "rUUX - V\x94rnik\x94 - Hazel Glow - ZKPW07";
    EXPECT_EQ(cp437ToUtf8(title, out, sizeof out), std::strlen(title) + 2);
    EXPECT_STREQ(out, "rUUX - V\xC3\xB6rnik\xC3\xB6 - Hazel Glow - ZKPW07");

    // A character that does not fit whole is dropped, never split.
    char small[4];
    EXPECT_EQ(cp437ToUtf8("ab\x94", small, sizeof small), 2u);
    EXPECT_STREQ(small, "ab");
    EXPECT_EQ(cp437ToUtf8("a\xDB", small, sizeof small), 1u);  // 3-byte block
    EXPECT_EQ(cp437ToUtf8("xyz", out, 0), 0u);
}
