#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "display/ansi_frame.h"
#include "effects/buffers.h"
#include "tests/support/files.h"
#include "tools/render/frame_terminal.h"

namespace fs = std::filesystem;

namespace {

using testfiles::readFile;

// Decodes a JSON string literal starting at `at` (the opening quote);
// leaves `at` after the closing one. Handles what a writer may emit.
std::string decodeJsonString(const std::string& s, size_t& at) {
    EXPECT_EQ(s[at], '"');
    std::string out;
    for (++at; at < s.size() && s[at] != '"'; ++at) {
        if (s[at] != '\\') {
            out += s[at];
            continue;
        }
        const char e = s[++at];
        if (e == 'u') {
            const unsigned cp = static_cast<unsigned>(std::stoul(s.substr(at + 1, 4), nullptr, 16));
            EXPECT_LT(cp, 0x80u) << "only ASCII controls need escaping";
            out += static_cast<char>(cp);
            at += 4;
        } else if (e == 'n') {
            out += '\n';
        } else if (e == 'r') {
            out += '\r';
        } else if (e == 't') {
            out += '\t';
        } else {
            out += e;  // \" \\ \/
        }
    }
    ++at;
    return out;
}

// Three frames into the CellBuffer, handed to `outputs` as frames 1..3.
std::string runFrames(std::vector<FrameOutput*> outputs, ColourMode mode) {
    AnsiFrameBuilder reference(mode);
    std::string expected;
    for (int n = 1; n <= 3; ++n) {
        for (int i = 0; i < CellCount; ++i)
            CellBuffer[i] =
                static_cast<uint16_t>(((i * 7 + n * (i % 13 == 0)) & 0xFF) | (0x07 + (i % 5 == n) * 0x10) << 8);
        CellBuffer[n] = static_cast<uint16_t>('"' | 0x0F00);
        CellBuffer[n + 1] = static_cast<uint16_t>('\\' | 0x0F00);
        expected += reference.build(CellBuffer);
        for (FrameOutput* out : outputs) EXPECT_TRUE(out->frame(n, 40 * n));
    }
    for (FrameOutput* out : outputs) EXPECT_TRUE(out->finish());
    return expected;
}

class TerminalFiles : public testing::Test {
protected:
    const testfiles::TempDir dir_{"render"};
};

TEST_F(TerminalFiles, AnsiAndCastCarryTheDemosExactBytes) {
    for (ColourMode mode : {ColourMode::Ansi16, ColourMode::TrueColour}) {
        auto ansi = makeAnsiOutput((dir_ / "frames.ansi").string(), mode);
        auto cast = makeCastOutput((dir_ / "frames.cast").string(), mode);
        const std::string expected = runFrames({ansi.get(), cast.get()}, mode);
        EXPECT_EQ(readFile(dir_ / "frames.ansi"), expected);

        std::istringstream lines(readFile(dir_ / "frames.cast"));
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line,
                  "{\"version\": 2, \"width\": 80, \"height\": 50, \"title\": \"rUUX - V\xC3\xB6rnik\xC3\xB6 - Hazel "
                  "Glow - ZKPW07\"}");
        std::string replayed;
        const char* times[] = {"[0.040, \"o\", ", "[0.080, \"o\", ", "[0.120, \"o\", "};
        for (const char* time : times) {
            ASSERT_TRUE(std::getline(lines, line));
            ASSERT_EQ(line.rfind(time, 0), 0u) << line.substr(0, 20);
            size_t at = std::string(time).size();
            replayed += decodeJsonString(line, at);
            EXPECT_EQ(line.substr(at), "]");
        }
        EXPECT_FALSE(std::getline(lines, line));
        EXPECT_EQ(replayed, expected);
    }
}

TEST_F(TerminalFiles, AFileThatCannotBeWrittenStopsTheRun) {
    const std::string path = (dir_ / "missing" / "frames.ansi").string();
    auto ansi = makeAnsiOutput(path, ColourMode::Ansi16);
    // The failure names the file and why, for main to print; every later call says the same.
    const Result shown = ansi->frame(1, 40);
    EXPECT_EQ(shown.message(), path + ": " + std::strerror(ENOENT));
    EXPECT_EQ(ansi->finish().message(), shown.message());
}

TEST(JsonString, EscapesOnlyWhatJsonNeeds) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("\x1b[0m\x07\n\x7f"), "\"\\u001b[0m\\u0007\\u000a\\u007f\"");
    EXPECT_EQ(jsonString("\xE2\x96\x88 \xC3\xB6"), "\"\xE2\x96\x88 \xC3\xB6\"");  // UTF-8 as it is
}

TEST(TerminalBytes, FiguresForChangedCellsAndFullRepaints) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    auto bytes = makeTerminalBytesOutput(out);
    for (int i = 0; i < CellCount; ++i) CellBuffer[i] = static_cast<uint16_t>('A' | 0x0700);
    for (int n = 1; n <= 3; ++n) ASSERT_TRUE(bytes->frame(n, 40 * n));
    ASSERT_TRUE(bytes->finish());
    std::fclose(out);
    const std::string report(text, size);
    std::free(text);
    // Unchanged frames cost 22 bytes (the synchronized update and the
    // cursor hide; the cursor is home already); a repaint of this picture
    // 24 bytes less than the first: no reset, black and clear, no cursor
    // move to the first cell, no background colour for it.
    AnsiFrameBuilder full(ColourMode::Ansi16);
    const size_t first = full.build(CellBuffer).size();
    full.repaintAll();
    const size_t repaint = full.build(CellBuffer).size();
    char line[128];
    std::snprintf(line, sizeof line, "16          changed  %10.0f %10d %10zu", (static_cast<double>(first) + 44.0) / 3,
                  22, first);
    EXPECT_NE(report.find(line), std::string::npos) << report;
    std::snprintf(line, sizeof line, "16          all      %10.0f %10zu %10zu",
                  (static_cast<double>(first) + 2.0 * static_cast<double>(repaint)) / 3, repaint, first);
    EXPECT_EQ(repaint, first - 24);
    EXPECT_NE(report.find(line), std::string::npos) << report;
    EXPECT_NE(report.find("truecolour  changed"), std::string::npos);
    EXPECT_NE(report.find("3 frames"), std::string::npos);
}

}  // namespace
