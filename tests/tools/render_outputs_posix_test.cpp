// hazelglow-render as a process, where things go wrong: a full disk under
// every output, standard output full or closed, data files that are FIFOs,
// folders, dangling links or not what they claim, and options that make no
// sense. Every failure is one line naming the file and a status that is not
// 0, and no output is left half written under the name asked for.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

const std::string Render = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render";

struct RenderRun {
    int status = -1;  // exit status; -1: killed, or did not end in time
    std::string errors;
};

enum class Stdout { Null, Full, Closed };

// In a forked child: the tool in `dir` with `arguments`; never returns.
[[noreturn]] void execRender(const fs::path& dir, const std::vector<std::string>& arguments) {
    if (chdir(dir.c_str()) != 0) _exit(120);
    std::vector<char*> argv = {const_cast<char*>(Render.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(Render.c_str(), argv.data());
    _exit(121);
}

// Runs the tool with `arguments` in `dir`. `fileSizeLimit` > 0 stands in for
// a full disk: writes past it fail with EFBIG (SIGXFSZ ignored).
RenderRun runRender(const fs::path& dir, const std::vector<std::string>& arguments, long fileSizeLimit = 0,
                    Stdout out = Stdout::Null) {
    int errPipe[2];
    if (pipe(errPipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(errPipe[1], 2);
        close(errPipe[0]);
        close(errPipe[1]);
        if (out == Stdout::Closed) {
            close(1);
        } else {
            const int target = open(out == Stdout::Full ? "/dev/full" : "/dev/null", O_WRONLY);
            dup2(target, 1);
            close(target);
        }
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execRender(dir, arguments);
    }
    close(errPipe[1]);
    RenderRun run;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd p{errPipe[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = read(errPipe[0], buffer, sizeof buffer);
            if (n > 0) run.errors.append(buffer, static_cast<size_t>(n));
            if (n > 0) continue;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            ADD_FAILURE() << "hazelglow-render did not end";
            break;
        }
    }
    close(errPipe[0]);
    return run;
}

// A data folder with the build's strips and a one-second soundtrack, and an
// empty output folder beside it.
// The first `bytes` bytes of one of the build's data files, as `to`.
void writeBuiltPrefix(const char* name, size_t bytes, const fs::path& to) {
    std::ifstream in(fs::path(HAZELGLOW_BUILD_DATA_DIR) / name, std::ios::binary);
    std::string head(bytes, '\0');
    in.read(head.data(), std::streamsize(bytes));
    std::ofstream(to, std::ios::binary) << head;
}

class RenderFiles : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "data");
        fs::create_directories(root_ / "out");
        for (const char* name : {"wipe.png", "texts.png"})
            fs::copy_file(fs::path(HAZELGLOW_BUILD_DATA_DIR) / name, root_ / "data" / name);
        writeWave(root_ / "data" / "hazelglow.ogg", 1, 16);
    }

    // `seconds` of stereo 44 100 Hz silence as RIFF WAVE with `bits` per
    // sample (format tag 3, floats, for 32).
    static void writeWave(const fs::path& path, int seconds, int bits) {
        const uint32_t blockAlign = 2u * static_cast<uint32_t>(bits) / 8u;
        const uint32_t bytes = 44100u * blockAlign * static_cast<uint32_t>(seconds);
        std::string header;
        const auto put = [&](uint32_t value, int size) {
            for (int k = 0; k < size; ++k) header += static_cast<char>(value >> (8 * k));
        };
        header += "RIFF";
        put(36 + bytes, 4);
        header += "WAVEfmt ";
        put(16, 4);
        put(bits == 32 ? 3 : 1, 2);
        put(2, 2);
        put(44100, 4);
        put(44100 * blockAlign, 4);
        put(blockAlign, 2);
        put(static_cast<uint32_t>(bits), 2);
        header += "data";
        put(bytes, 4);
        std::ofstream(path, std::ios::binary) << header << std::string(bytes, '\0');
    }

    // Every file under the output folder, however deep.
    std::vector<std::string> outputFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root_ / "out"))
            if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(root_ / "out").string());
        return files;
    }

    static void expectOneLine(const RenderRun& run, const std::string& start, const std::string& problem) {
        EXPECT_EQ(run.errors.rfind("hazelglow-render: " + start, 0), 0u) << run.errors;
        EXPECT_NE(run.errors.find(problem), std::string::npos) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
    }

    const testfiles::TempDir dir_{"render-out"};
    const fs::path& root_ = dir_.path();
};

struct OutputCase {
    const char* option;
    const char* target;   // under out/
    const char* failing;  // the file whose write fails
};

const OutputCase Outputs[] = {
    {"--wav", "out/mix.wav", "out/mix.wav"},          {"--ansi", "out/frames.ansi", "out/frames.ansi"},
    {"--cast", "out/frames.cast", "out/frames.cast"}, {"--dump", "out/dump", "out/dump/fb_1.raw"},
    {"--png", "out/png", "out/png/frame_1.png"},
};

TEST_F(RenderFiles, EveryOutputOnAFullDiskFailsAndLeavesNothing) {
    for (const OutputCase& c : Outputs) {
        SCOPED_TRACE(c.option);
        const RenderRun run = runRender(root_, {"--data", "data", "--frames", "5", c.option, c.target}, 1024);
        EXPECT_EQ(run.status, 1);
        expectOneLine(run, std::string(c.failing) + ": ", std::strerror(EFBIG));
        EXPECT_EQ(outputFiles(), std::vector<std::string>{}) << "a partial or temporary file is left";
    }
    // The same runs with room to write leave exactly the files asked for.
    for (const OutputCase& c : Outputs) {
        SCOPED_TRACE(c.option);
        const RenderRun run = runRender(root_, {"--data", "data", "--frames", "5", c.option, c.target});
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(fs::exists(root_ / c.failing));
    }
    EXPECT_EQ(outputFiles().size(), 3u + 10u + 5u);
}

TEST_F(RenderFiles, AFailedRunKeepsTheOlderFileWhole) {
    std::ofstream(root_ / "out" / "mix.wav") << "the mix from yesterday";
    const RenderRun run = runRender(root_, {"--data", "data", "--wav", "out/mix.wav"}, 1024);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(testfiles::readFile(root_ / "out" / "mix.wav"), "the mix from yesterday");
    EXPECT_EQ(outputFiles(), std::vector<std::string>{"mix.wav"});
}

TEST_F(RenderFiles, HashesOnAFullOrClosedStandardOutputFail) {
    const RenderRun full = runRender(root_, {"--data", "data", "--frames", "3", "--hashes"}, 0, Stdout::Full);
    EXPECT_EQ(full.status, 1);
    expectOneLine(full, "standard output: ", std::strerror(ENOSPC));
    const RenderRun closed = runRender(root_, {"--data", "data", "--frames", "3", "--hashes"}, 0, Stdout::Closed);
    EXPECT_EQ(closed.status, 1);
    expectOneLine(closed, "standard output: ", std::strerror(EBADF));
}

TEST_F(RenderFiles, BrokenDataFilesAreNamedWithTheReason) {
    const fs::path wipe = root_ / "data" / "wipe.png";
    struct Case {
        const char* what;
        void (*make)(const fs::path& path);
        const char* problem;
    };
    const Case cases[] = {
        // Opening a FIFO would wait for a writer for ever.
        {"fifo", [](const fs::path& path) { mkfifo(path.c_str(), 0600); }, "not a regular file"},
        {"folder", [](const fs::path& path) { fs::create_directory(path); }, "not a regular file"},
        {"dangling link", [](const fs::path& path) { fs::create_symlink("gone.png", path); },
         "a symbolic link to a file that is not there"},
        {"missing", [](const fs::path&) {}, "No such file or directory"},
        {"cut at 33 bytes", [](const fs::path& path) { writeBuiltPrefix("wipe.png", 33, path); },
         "the PNG file is cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(wipe);
        c.make(wipe);
        const RenderRun run = runRender(root_, {"--data", "data", "--frames", "1", "--hashes"});
        EXPECT_EQ(run.status, 2);
        expectOneLine(run, "data/wipe.png: ", c.problem);
    }
}

TEST_F(RenderFiles, TheSoundtrackMessageSaysWhatIsWrong) {
    const fs::path soundtrack = root_ / "data" / "hazelglow.ogg";
    struct Case {
        const char* what;
        void (*make)(const fs::path& path);
        const char* problem;
    };
    const Case cases[] = {
        {"missing", [](const fs::path&) {}, "No such file or directory"},
        {"fifo", [](const fs::path& path) { mkfifo(path.c_str(), 0600); }, "not a regular file"},
        {"not sound", [](const fs::path& path) { std::ofstream(path) << "OggS and then nothing"; },
         "not a soundtrack the demo can play (Ogg Vorbis or PCM WAVE expected)"},
        {"24-bit", [](const fs::path& path) { writeWave(path, 1, 24); }, "8- or 16-bit PCM WAVE expected"},
        {"float", [](const fs::path& path) { writeWave(path, 1, 32); }, "8- or 16-bit PCM WAVE expected"},
        {"cut short", [](const fs::path& path) { writeBuiltPrefix("hazelglow.ogg", 150000, path); },
         "before its last page (cut short?)"},
        {"no samples", [](const fs::path& path) { writeWave(path, 0, 16); }, "holds no samples"},
        {"1 GB, sparse",
         [](const fs::path& path) {
             std::ofstream(path, std::ios::binary) << "OggS";
             fs::resize_file(path, 1u << 30);
         },
         "1024.0 MiB, more than the 64 MiB an Ogg soundtrack may take"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(soundtrack);
        c.make(soundtrack);
        const RenderRun run = runRender(root_, {"--data", "data", "--wav", "out/mix.wav"});
        EXPECT_EQ(run.status, 2);
        expectOneLine(run, "data/hazelglow.ogg: cannot load the soundtrack: ", c.problem);
        EXPECT_FALSE(fs::exists(root_ / "out" / "mix.wav"));
    }
}

TEST_F(RenderFiles, FrameRangesThatOutputNothingAreRefused) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--from", "5000", "--frames", "10", "--hashes"},
          std::vector<std::string>{"--frames", " 5", "--hashes"}, std::vector<std::string>{"--frames", "+5"},
          std::vector<std::string>{"--from", "-1"}}) {
        SCOPED_TRACE(arguments[1]);
        const RenderRun run = runRender(root_, arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.errors.rfind("hazelglow-render: ", 0), 0u) << run.errors;
        EXPECT_NE(run.errors.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(runRender(root_, {"--data", "data", "--from", "10", "--frames", "10", "--hashes"}).status, 0);
}

}  // namespace

namespace {

// Starts the tool in `dir` with standard output and errors to /dev/null.
pid_t startRender(const fs::path& dir, const std::vector<std::string>& arguments) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execRender(dir, arguments);
    }
    return pid;
}

}  // namespace

// What is under an output's name decides how it is written: the rename is
// for regular files; what a link points to is the file; a replaced file
// keeps its mode and its other names.
TEST_F(RenderFiles, EachKindOfOutputPathIsWrittenAsWhatItIs) {
    const fs::path out = root_ / "out";
    const std::vector<std::string> render = {"--data", "data", "--frames", "2", "--ansi"};
    auto run = [&](const std::string& target) {
        std::vector<std::string> arguments = render;
        arguments.push_back(target);
        return runRender(root_, arguments);
    };
    {
        SCOPED_TRACE("FIFO: its reader gets the frames, the FIFO stays");
        ASSERT_EQ(mkfifo((out / "fifo").c_str(), 0600), 0);
        const int reader = open((out / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        const RenderRun r = run("out/fifo");
        EXPECT_EQ(r.status, 0) << r.errors;
        char buffer[65536];
        EXPECT_GT(read(reader, buffer, sizeof buffer), 1000);
        close(reader);
        EXPECT_TRUE(fs::is_fifo(out / "fifo"));
    }
    {
        SCOPED_TRACE("symbolic link: its target is replaced, the link stays");
        std::ofstream(out / "target.ansi") << "old";
        fs::create_symlink("target.ansi", out / "link.ansi");
        EXPECT_EQ(run("out/link.ansi").status, 0);
        EXPECT_TRUE(fs::is_symlink(out / "link.ansi"));
        EXPECT_GT(fs::file_size(out / "target.ansi"), 1000u);
        fs::create_symlink("missing.ansi", out / "dangling.ansi");
        EXPECT_EQ(run("out/dangling.ansi").status, 0);
        EXPECT_TRUE(fs::is_symlink(out / "dangling.ansi"));
        EXPECT_GT(fs::file_size(out / "missing.ansi"), 1000u);
    }
    {
        SCOPED_TRACE("mode 0600 is kept");
        std::ofstream(out / "private.ansi") << "old";
        fs::permissions(out / "private.ansi", fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(run("out/private.ansi").status, 0);
        struct stat status {};
        ASSERT_EQ(stat((out / "private.ansi").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
    }
    {
        SCOPED_TRACE("hard links: both names see the new frames");
        std::ofstream(out / "one.ansi") << "old";
        fs::create_hard_link(out / "one.ansi", out / "two.ansi");
        EXPECT_EQ(run("out/one.ansi").status, 0);
        EXPECT_EQ(fs::hard_link_count(out / "one.ansi"), 2u);
        EXPECT_GT(fs::file_size(out / "two.ansi"), 1000u);
        EXPECT_EQ(testfiles::readFile(out / "one.ansi"), testfiles::readFile(out / "two.ansi"));
    }
    if (geteuid() == 0) {
        SCOPED_TRACE("a character device (the null device, made here) stays one");
        ASSERT_EQ(mknod((out / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        EXPECT_EQ(run("out/null").status, 0);
        EXPECT_TRUE(fs::is_character_file(out / "null"));
    }
    {
        SCOPED_TRACE("standard output, full: every write is checked");
        std::vector<std::string> arguments = render;
        arguments.push_back("-");
        const RenderRun r = runRender(root_, arguments, 0, Stdout::Full);
        EXPECT_EQ(r.status, 1);
        expectOneLine(r, "-: ", std::strerror(ENOSPC));
        EXPECT_FALSE(fs::exists(root_ / "-"));
    }
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

TEST_F(RenderFiles, OutputsIntoOneFileOrWithoutANameAreRefusedBeforeRendering) {
    std::ofstream(root_ / "out" / "X") << "old";
    fs::create_symlink("X", root_ / "out" / "to-X");
    const std::vector<std::vector<std::string>> cases = {
        {"--wav", "out/s.out", "--ansi", "out/s.out"},
        {"--ansi", "out/X", "--cast", "out/./X"},
        {"--ansi", "out/to-X", "--cast", "out/X"},
        {"--ansi", "out/../out/new", "--video", "out/new"},
        {"--ansi", "-", "--hashes"},
    };
    for (std::vector<std::string> arguments : cases) {
        SCOPED_TRACE(arguments[1] + " " + arguments[3 % arguments.size()]);
        arguments.insert(arguments.begin(), {"--data", "data", "--frames", "2"});
        const RenderRun run = runRender(root_, arguments);
        EXPECT_EQ(run.status, 2);
        expectOneLine(run, "--", "write to the same file");
        EXPECT_EQ(testfiles::readFile(root_ / "out" / "X"), "old");
    }
    EXPECT_EQ(outputFiles().size(), 2u);  // X and the link to it
    for (const char* option : {"--ansi", "--data", "--wav", "--png"}) {
        SCOPED_TRACE(option);
        const RenderRun run = runRender(root_, {"--frames", "2", option, ""});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find(std::string(option) + " needs a name, not ''"), std::string::npos) << run.errors;
    }
}

// Every signal that ends a run removes what it was writing, then ends it
// as the signal would.
TEST_F(RenderFiles, AnEndingSignalLeavesNoTemporaryFile) {
    struct Case {
        int signal;
        std::vector<std::string> output;
    };
    const Case cases[] = {{SIGINT, {"--ansi", "out/x.ansi"}},
                          {SIGTERM, {"--png", "out/png"}},
                          {SIGHUP, {"--cast", "out/x.cast"}},
                          {SIGQUIT, {"--ansi", "out/x.ansi", "--cast", "out/y.cast"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        std::vector<std::string> arguments = {"--data", "data"};
        arguments.insert(arguments.end(), c.output.begin(), c.output.end());
        const pid_t pid = startRender(root_, arguments);
        // Until the run is writing: a temporary file is there.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool writing = false;
        while (!writing && std::chrono::steady_clock::now() < end) {
            for (const std::string& file : outputFiles())
                writing = writing || file.find(".partial-") != std::string::npos;
            usleep(20000);
        }
        EXPECT_TRUE(writing);
        kill(pid, c.signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
        for (const std::string& file : outputFiles()) EXPECT_EQ(file.find(".partial-"), std::string::npos) << file;
    }
}

// What was asked for is the output: not writing it is a failure.
TEST_F(RenderFiles, HelpAndVersionIntoAFullStandardOutputFail) {
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        const RenderRun run = runRender(root_, {option}, 0, Stdout::Full);
        EXPECT_EQ(run.status, 1);
        expectOneLine(run, "standard output: ", std::strerror(ENOSPC));
        EXPECT_EQ(runRender(root_, {option}).status, 0);
        const std::string demo = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow";
        if (!fs::exists(demo)) continue;
        const std::string errors = (root_ / "errors.txt").string();
        const int status = std::system((demo + " " + option + " >/dev/full 2>" + errors).c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_EQ(testfiles::readFile(errors),
                  std::string("hazelglow: standard output: ") + std::strerror(ENOSPC) + "\n");
    }
}
