#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "demo/data_files.h"
#include "demo/driver.h"
#include "demo/keys.h"
#include "demo/ticks.h"

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

// Standard input replaced by a pipe for the length of a test.
class KeyPipe {
public:
    KeyPipe() {
        saved_ = dup(STDIN_FILENO);
        int fds[2];
        if (pipe(fds) != 0) return;
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
        writer_ = fds[1];
    }
    ~KeyPipe() {
        if (writer_ >= 0) close(writer_);
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }
    void press(std::string_view bytes) { ASSERT_EQ(write(writer_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    void closeInput() {
        close(writer_);
        writer_ = -1;
    }

private:
    int saved_ = -1;
    int writer_ = -1;
};

TEST(Keys, OnePendingKeyPressIsOneKey) {
    KeyPipe keys;
    EXPECT_EQ(pollKey(), 0);
    keys.press("q");
    EXPECT_EQ(pollKey(), 'q');
    EXPECT_EQ(pollKey(), 0);
    keys.press("\x1b[A");  // cursor up: one key
    EXPECT_EQ(pollKey(), 0x1b);
    EXPECT_EQ(pollKey(), 0);
    keys.press(std::string_view("\0", 1));  // Ctrl+Space is a key too
    EXPECT_EQ(pollKey(), 0x100);
    keys.closeInput();  // end of input is no key press
    EXPECT_EQ(pollKey(), 0);
    EXPECT_EQ(pollKey(), 0);
}

class DataLookup : public testing::Test {
protected:
    DataLookup() : root_(fs::temp_directory_path() / ("hazelglow-data-" + std::to_string(getpid()))) {
        for (const char* dir : {"a", "b", "c"}) fs::create_directories(root_ / dir);
    }
    ~DataLookup() override { fs::remove_all(root_); }

    void put(const char* dir, const char* name, const std::string& content = "data") {
        std::ofstream(root_ / dir / name) << content;
    }
    std::vector<std::string> dirs() const {
        return {(root_ / "a").string(), (root_ / "b").string(), (root_ / "c").string()};
    }
    std::string in(const char* dir, const char* name) const { return (root_ / dir / name).string(); }

    fs::path root_;
};

TEST_F(DataLookup, EachFileFromTheFirstPlaceThatHasIt) {
    put("c", "hazelglow.ogg");
    put("b", "wipe.png");
    put("c", "wipe.png");
    put("a", "texts.png");
    put("c", "texts.png");
    DataFiles files;
    std::string message;
    ASSERT_TRUE(findDataFiles(dirs(), files, message)) << message;
    EXPECT_EQ(files.soundtrack, in("c", "hazelglow.ogg"));
    EXPECT_EQ(files.wipe, in("b", "wipe.png"));
    EXPECT_EQ(files.texts, in("a", "texts.png"));
}

TEST_F(DataLookup, MissingFileNamesItAndThePlaces) {
    put("a", "hazelglow.ogg");
    put("a", "texts.png");
    DataFiles files;
    std::string message;
    EXPECT_FALSE(findDataFiles(dirs(), files, message));
    EXPECT_EQ(message, "missing data file wipe.png (looked in " + dirs()[0] + ", " + dirs()[1] + ", " + dirs()[2] + ")");
}

TEST_F(DataLookup, UnreadableFileStopsTheLookup) {
    put("a", "hazelglow.ogg");
    put("a", "wipe.png");
    put("c", "texts.png");
    fs::create_directories(root_ / "b" / "texts.png");  // a directory is no data file
    DataFiles files;
    std::string message;
    EXPECT_FALSE(findDataFiles(dirs(), files, message));
    EXPECT_EQ(message.rfind("cannot read data file " + in("b", "texts.png") + ": not a regular file (looked in ", 0), 0u)
        << message;
    put("a", "texts.png", "");
    EXPECT_FALSE(findDataFiles(dirs(), files, message));
    EXPECT_NE(message.find("the file is empty"), std::string::npos) << message;
}

// The working directory for the length of a test, so the result does not
// depend on where the test program was started.
class InDirectory {
public:
    explicit InDirectory(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~InDirectory() { fs::current_path(saved_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    fs::path saved_;
};

TEST(DataDirectories, WorkingDirectoryThenProgramThenInstalled) {
    const std::string program = fs::canonical("/proc/self/exe").parent_path().string();
    const fs::path elsewhere = fs::temp_directory_path() / ("hazelglow-cwd-" + std::to_string(getpid()));
    fs::create_directories(elsewhere);
    {
        InDirectory in(elsewhere);
        const std::vector<std::string> dirs = dataDirectories(nullptr);
        ASSERT_EQ(dirs.size(), 3u);
        EXPECT_EQ(dirs[0], fs::current_path().string());
        EXPECT_EQ(dirs[1], program);
        EXPECT_EQ(dirs[2], HAZELGLOW_DATA_INSTALL_DIR);
    }
    fs::remove(elsewhere);
    // Started in its own folder: that folder is looked in once.
    InDirectory in(program);
    EXPECT_EQ(dataDirectories(nullptr), (std::vector<std::string>{program, HAZELGLOW_DATA_INSTALL_DIR}));
}

}  // namespace
