// Whole-timeline golden test: the --hashes line of every frame from 1 to
// TimelineFrames, for the project's own data files and two start ticks, must match the
// lines kept in tests/effects/golden/. Any change to any frame fails here
// and has to be explained; regenerate the files only on purpose, with
// scripts/regenerate-golden.sh, saying why in the commit.
#include <gtest/gtest.h>

#ifdef _WIN32

// The kept hashes are those of the Linux build: another C library's sin and
// cos may round differently, so a Windows build may draw other frames.
TEST(TimelineGolden, KeptForTheLinuxBuildOnly) {
    GTEST_SKIP() << "the golden hashes are the Linux build's";
}

#else

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "demo/pipeline.h"

namespace {

bool fileExists(const std::string& path) {
    return std::ifstream(path).good();
}

// Runs a shell command and returns its standard output split into lines;
// `status` gets the exit status (-1 when it could not be run or was killed).
std::vector<std::string> outputLines(const std::string& command, int& status) {
    std::vector<std::string> lines;
    status = -1;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    std::string line;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        line += buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty()) lines.push_back(line);
    const int result = pclose(pipe);
    if (result != -1 && WIFEXITED(result)) status = WEXITSTATUS(result);
    return lines;
}

// The text pictures are drawn from the system's DejaVu font at build time,
// so a font package update changes frames with no change here. Empty when
// `font` is the file recorded in `recordPath` (sha256sum's format: the hash,
// two spaces, the file name); otherwise the one line that says what changed.
std::string fontChange(const std::string& recordPath, const std::string& font) {
    std::ifstream record(recordPath);
    std::string recorded;
    if (!(record >> recorded)) return recordPath + " is missing: run scripts/regenerate-golden.sh";
    int status = -1;
    const std::vector<std::string> sum = outputLines("sha256sum '" + font + "'", status);
    const std::string actual = status == 0 && !sum.empty() ? sum[0].substr(0, sum[0].find(' ')) : "unreadable";
    if (actual == recorded) return {};
    return "the font package changed: " + font + " has sha256 " + actual + ", the golden frames were drawn with " +
           recorded + "; check the new text frames and run scripts/regenerate-golden.sh";
}

class TimelineGolden : public testing::TestWithParam<unsigned> {};

}  // namespace

TEST_P(TimelineGolden, EveryFrameMatchesTheKeptHashes) {
    const std::string tick = std::to_string(GetParam());
    const std::string goldenPath =
        std::string(HAZELGLOW_SOURCE_DIR) + "/tests/effects/golden/timeline_tick_" + tick + ".txt";
    const std::string render = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render";
    const std::string data = HAZELGLOW_BUILD_DATA_DIR;

    std::ifstream goldenFile(goldenPath);
    ASSERT_TRUE(goldenFile.good()) << goldenPath << " is missing: generate it on purpose with "
                                   << "scripts/regenerate-golden.sh and say why in the commit";
    std::vector<std::string> golden;
    for (std::string line; std::getline(goldenFile, line);) golden.push_back(line);
    ASSERT_EQ(golden.size(), static_cast<size_t>(TimelineFrames)) << goldenPath << " should hold one line per frame";

    const std::string fontRecord = std::string(HAZELGLOW_SOURCE_DIR) + "/tests/effects/golden/font.sha256";
    const std::string changed = fontChange(fontRecord, HAZELGLOW_TEXT_FONT);
    ASSERT_TRUE(changed.empty()) << changed;

    ASSERT_TRUE(fileExists(render)) << render << " is not built";
    for (const char* name : {"wipe.png", "texts.png"})
        ASSERT_TRUE(fileExists(data + "/" + name)) << data << "/" << name << " is missing: build hazelglow-data";

    int status = -1;
    const std::vector<std::string> frames =
        outputLines("'" + render + "' --data '" + data + "' --start-tick " + tick + " --hashes", status);
    ASSERT_EQ(status, 0) << "hazelglow-render --start-tick " << tick << " failed";

    // Report the first frame that differs: later ones usually follow from it.
    const size_t common = std::min(frames.size(), golden.size());
    for (size_t i = 0; i < common; ++i)
        ASSERT_EQ(frames[i], golden[i]) << "first differing frame is frame " << i + 1
                                        << " (t = " << FramePeriod * static_cast<int32_t>(i + 1) << "), start tick "
                                        << tick << "; lines are '<n> <t> <frame> <cells>'";
    ASSERT_EQ(frames.size(), golden.size()) << "hazelglow-render printed a different number of frames";
}

TEST(TimelineGoldenFont, AChangedFontIsNamedInOneLine) {
    const std::string dir = testing::TempDir();
    const std::string font = dir + "/golden_font_test.ttf";
    const std::string record = dir + "/golden_font_test.sha256";
    std::ofstream(font) << "glyphs";
    int status = -1;
    const std::vector<std::string> sum = outputLines("cd '" + dir + "' && sha256sum golden_font_test.ttf", status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(sum.size(), 1u);

    std::ofstream(record) << sum[0] << "\n";
    EXPECT_EQ(fontChange(record, font), "");

    std::ofstream(font) << "other glyphs";
    const std::string changed = fontChange(record, font);
    EXPECT_EQ(changed.rfind("the font package changed: " + font + " has sha256 ", 0), 0u) << changed;
    EXPECT_NE(changed.find("scripts/regenerate-golden.sh"), std::string::npos) << changed;
    EXPECT_EQ(changed.find('\n'), std::string::npos) << changed;

    EXPECT_NE(fontChange(dir + "/no_such_record", font).find("is missing"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(StartTicks, TimelineGolden, testing::Values(0u, 987654u),
                         [](const testing::TestParamInfo<unsigned>& test) {
                             return "Tick" + std::to_string(test.param);
                         });

#endif  // _WIN32
