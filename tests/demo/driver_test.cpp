// The driver's frame clock and its data-file lookup, on every platform. The
// key poll on a pipe and the data directories (/proc/self/exe, the installed
// folder) are checked on Linux in driver_posix_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "demo/data_files.h"
#include "demo/driver.h"
#include "demo/ticks.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

TEST(FrameClock, WaitEndsStrictlyAfterTheTargetAcrossTheWrap) {
    EXPECT_FALSE(tickPassed(1000, 1000));
    EXPECT_TRUE(tickPassed(1001, 1000));
    EXPECT_FALSE(tickPassed(999, 1000));
    // The 32-bit count wraps after 49.7 days; a run that spans it neither
    // races ahead nor waits for the next wrap.
    EXPECT_FALSE(tickPassed(0xFFFFFFF0u, 0xFFFFFFFFu));
    EXPECT_TRUE(tickPassed(0x00000005u, 0xFFFFFFF0u));
    EXPECT_FALSE(tickPassed(0xFFFFFFF0u, 0x00000010u));
}

TEST(FrameClock, TickCountCountsMilliseconds) {
    const uint32_t start = tickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const uint32_t elapsed = tickCount() - start;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(FrameClock, TheTickPassesAtTheStartOfTheNextMillisecond) {
    // 12.3456789 ms into the count: tick 12.
    constexpr uint64_t now = 12345678u;
    EXPECT_EQ(tickPassMoment(12, now), 13000000u);
    EXPECT_EQ(tickPassMoment(52, now), 53000000u);
    EXPECT_EQ(tickPassMoment(11, now), 12000000u);  // already passed: a moment in the past
    // Across the wrap: tick 0xFFFFFFFF is followed by tick 0 of the next round.
    constexpr uint64_t round = uint64_t(1) << 32;
    constexpr uint64_t nearWrap = (round - 2) * 1000000u;
    EXPECT_EQ(tickPassMoment(0xFFFFFFFFu, nearWrap), round * 1000000u);
    EXPECT_EQ(tickPassMoment(3u, nearWrap), (round + 4) * 1000000u);
}

TEST(FrameClock, WaitReturnsOnceTheTickHasPassed) {
    const uint32_t target = tickCount() + 30;
    waitForTickPast(target);
    EXPECT_TRUE(tickPassed(tickCount(), target));
    // A target long gone returns at once and says how late it is.
    const uint32_t old = tickCount() - 500;
    EXPECT_GE(waitForTickPast(old), uint64_t(499) * 1000000u);
}

TEST(FrameClock, NanosecondsAndTicksAreOneClock) {
    const uint32_t before = tickCount();
    const uint64_t nanoseconds = tickNanoseconds();
    const uint32_t after = tickCount();
    const auto fromNanoseconds = static_cast<uint32_t>(nanoseconds / 1000000u);
    EXPECT_FALSE(tickPassed(before, fromNanoseconds));
    EXPECT_FALSE(tickPassed(fromNanoseconds, after));
}

class DataLookup : public testing::Test {
protected:
    DataLookup() {
        for (const char* dir : {"a", "b", "c"}) fs::create_directories(root_ / dir);
    }

    void put(const char* dir, const char* name, const std::string& content = "data") {
        std::ofstream(root_ / dir / name) << content;
    }
    std::vector<std::string> dirs() const {
        return {(root_ / "a").string(), (root_ / "b").string(), (root_ / "c").string()};
    }
    // The lookup joins folder and name with '/' on every platform.
    std::string in(const char* dir, const char* name) const { return (root_ / dir).string() + "/" + name; }

    const testfiles::TempDir root_{"data"};
};

TEST_F(DataLookup, EachFileFromTheFirstPlaceThatHasIt) {
    put("c", "hazelglow.ogg");
    put("b", "wipe.png");
    put("c", "wipe.png");
    put("a", "texts.png");
    put("c", "texts.png");
    DataFiles files;
    const Result found = findDataFiles(dirs(), files);
    ASSERT_TRUE(found) << found.message();
    EXPECT_EQ(files.soundtrack, in("c", "hazelglow.ogg"));
    EXPECT_EQ(files.wipe, in("b", "wipe.png"));
    EXPECT_EQ(files.texts, in("a", "texts.png"));
}

TEST_F(DataLookup, MissingFileNamesItAndThePlaces) {
    put("a", "hazelglow.ogg");
    put("a", "texts.png");
    DataFiles files;
    const Result found = findDataFiles(dirs(), files);
    EXPECT_FALSE(found);
    EXPECT_EQ(found.message(),
              "missing data file wipe.png (looked in " + dirs()[0] + ", " + dirs()[1] + ", " + dirs()[2] + ")");
}

TEST_F(DataLookup, UnreadableFileStopsTheLookup) {
    put("a", "hazelglow.ogg");
    put("a", "wipe.png");
    put("c", "texts.png");
    fs::create_directories(root_ / "b" / "texts.png");  // a directory is no data file
    DataFiles files;
    Result found = findDataFiles(dirs(), files);
    EXPECT_FALSE(found);
    EXPECT_EQ(
        found.message().rfind("cannot read data file " + in("b", "texts.png") + ": not a regular file (looked in ", 0),
        0u)
        << found.message();
    put("a", "texts.png", "");
    found = findDataFiles(dirs(), files);
    EXPECT_FALSE(found);
    EXPECT_NE(found.message().find("the file is empty"), std::string::npos) << found.message();
}

}  // namespace

namespace {

// The options, or what refused them.
struct Parsed {
    Result result;
    DemoOptions options;
};

Parsed parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"hazelglow"};
    argv.insert(argv.end(), args);
    DemoOptions options;
    Result result = parseDemoOptions(static_cast<int>(argv.size()), argv.data(), options);
    return {std::move(result), options};
}

TEST(DemoOptions, FillExactHelpVersionAndNothingElse) {
    EXPECT_TRUE(parse({}).result);
    EXPECT_EQ(parse({}).options.action, DemoOptions::Action::Run);
    EXPECT_EQ(parse({}).options.fit, FitMode::Auto);
    EXPECT_EQ(parse({"--fill"}).options.fit, FitMode::Fill);
    EXPECT_EQ(parse({"--exact", "--exact"}).options.fit, FitMode::Exact);
    EXPECT_EQ(parse({"--fill", "--help"}).options.action, DemoOptions::Action::Help);
    EXPECT_EQ(parse({"--version"}).options.action, DemoOptions::Action::Version);
    // Anything else is refused, with what was wrong, before it is run.
    const Parsed unknown = parse({"--help", "-f"});
    EXPECT_FALSE(unknown.result);
    EXPECT_EQ(unknown.result.message(), "unknown option '-f'");
    EXPECT_FALSE(parse({"fill"}).result);
    EXPECT_EQ(parse({"--exact", "--fill"}).result.message(), "--fill and --exact exclude each other");
    EXPECT_NE(std::string(demoUsage()).find("--fill"), std::string::npos);
}

}  // namespace
