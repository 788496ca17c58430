// The driver's platform parts as they run on Linux: the key poll reading a
// pipe put in place of standard input, and the folders the data files are
// looked for in (named through /proc/self/exe).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "demo/data_files.h"
#include "demo/keys.h"
#include "demo/keys_posix.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

// Standard input replaced by a pipe, and the keys read from it, for the
// length of a test.
class KeyPipe {
public:
    KeyPipe() {
        saved_ = dup(STDIN_FILENO);
        int fds[2];
        if (pipe(fds) != 0) return;
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
        writer_ = fds[1];
        setKeyInput(STDIN_FILENO);
    }
    ~KeyPipe() {
        setKeyInput(KeyInputAuto);
        if (writer_ >= 0) close(writer_);
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }
    void press(std::string_view bytes) {
        ASSERT_EQ(write(writer_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
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
    // The terminal's answers to set-up's questions, come too late for it,
    // are no key; a key pressed with them is.
    keys.press("\x1b[6;19;10t\x1b[4;456;800t\x1b[?62;22c");
    EXPECT_EQ(pollKey(), 0);
    keys.press("\x1b[?62;22cq");
    EXPECT_EQ(pollKey(), 'q');
    keys.press("\x1b");  // Esc alone
    EXPECT_EQ(pollKey(), 0x1b);
    keys.closeInput();  // end of input is no key press
    EXPECT_EQ(pollKey(), 0);
    EXPECT_EQ(pollKey(), 0);
}

TEST(Keys, WithoutAnyTerminalThereAreNone) {
    // A child in a session of its own has no controlling terminal; with
    // standard input from /dev/null it has nothing to read keys from.
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        setKeyInput(KeyInputAuto);
        _exit(keyInput() == -1 && pollKey() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
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
    {
        const testfiles::TempDir elsewhere("cwd");
        InDirectory in(elsewhere.path());
        const std::vector<std::string> dirs = dataDirectories(nullptr);
        ASSERT_EQ(dirs.size(), 3u);
        EXPECT_EQ(dirs[0], fs::current_path().string());
        EXPECT_EQ(dirs[1], program);
        EXPECT_EQ(dirs[2], HAZELGLOW_DATA_INSTALL_DIR);
    }
    // Started in its own folder: that folder is looked in once.
    InDirectory in(program);
    EXPECT_EQ(dataDirectories(nullptr), (std::vector<std::string>{program, HAZELGLOW_DATA_INSTALL_DIR}));
}

// A broken name in the first place looked is reported and stops the
// lookup: silently taking the copy beside the program would hide it.
TEST(DataLookupPosix, BrokenSymbolicLinksAndFifosStopTheLookup) {
    const testfiles::TempDir root("links");
    for (const char* dir : {"cwd", "beside"}) fs::create_directories(root / dir);
    for (const char* name : {"hazelglow.ogg", "wipe.png", "texts.png"}) {
        std::ofstream(root / "beside" / name) << "data";
        std::ofstream(root / "cwd" / name) << "data";
    }
    const std::vector<std::string> dirs = {(root / "cwd").string(), (root / "beside").string()};
    const std::string wipe = dirs[0] + "/wipe.png";
    struct Case {
        const char* what;
        void (*make)(const std::string& path);
        const char* problem;
    };
    const Case cases[] = {
        {"dangling link", [](const std::string& path) { fs::create_symlink("nothing-here.png", path); },
         "a symbolic link to a file that is not there"},
        {"link loop", [](const std::string& path) { fs::create_symlink("wipe.png", path); },
         "Too many levels of symbolic links"},
        {"fifo", [](const std::string& path) { mkfifo(path.c_str(), 0600); }, "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(wipe);
        c.make(wipe);
        DataFiles files;
        const Result found = findDataFiles(dirs, files);
        const std::string& message = found.message();
        EXPECT_FALSE(found);
        EXPECT_EQ(message.rfind("cannot read data file " + wipe + ": " + c.problem + " (looked in ", 0), 0u) << message;
        const Result readable = dataFileReadable(wipe);
        EXPECT_EQ(readable.message(), wipe + ": " + c.problem);
        EXPECT_EQ(readable.problem(), c.problem);
    }
}

}  // namespace
