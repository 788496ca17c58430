// The frame writer without a terminal: a sink that stalls until the test
// lets it go, frames skipped meanwhile, and what a terminal shows of the
// frames that did go out.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "display/ansi_frame.h"
#include "display/frame_writer.h"
#include "display/term_sequences.h"
#include "tests/display/vterm_screen.h"

namespace {

// A terminal that takes each write only when released: the writes it was
// given, whole, in order.
class StalledSink {
public:
    FrameWriter::Sink sink() {
        return [this](const char* bytes, size_t count) {
            std::unique_lock<std::mutex> lock(mutex_);
            ++started_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_ >= started_; });
            writes_.emplace_back(bytes, count);
            return true;
        };
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    // Waits until `n` writes have begun (and are stalled, unless released).
    void waitForStarted(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return started_ >= n; });
    }
    std::vector<std::string> writes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int started_ = 0, released_ = 0;
    std::vector<std::string> writes_;
};

std::vector<uint16_t> randomCells(unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint16_t> cells(CellCount);
    for (auto& c : cells) c = static_cast<uint16_t>(random());
    return cells;
}

// Frames that each change a part of the one before.
std::vector<std::vector<uint16_t>> framesChangingBit(int count) {
    std::mt19937 random(11);
    std::vector<std::vector<uint16_t>> frames{randomCells(3)};
    for (int f = 1; f < count; ++f) {
        std::vector<uint16_t> next = frames.back();
        for (int k = 0; k < 300; ++k) next[random() % CellCount] = static_cast<uint16_t>(random());
        frames.push_back(next);
    }
    return frames;
}

void expectSameScreens(const EmulatedTerminal& shown, const EmulatedTerminal& expected) {
    int wrong = 0;
    for (int row = 0; row < expected.rows(); ++row) {
        for (int column = 0; column < expected.columns(); ++column) {
            const VTermScreenCell a = shown.cell(row, column), b = expected.cell(row, column);
            const bool same =
                a.chars[0] == b.chars[0] && vterm_color_is_equal(&a.fg, &b.fg) && vterm_color_is_equal(&a.bg, &b.bg);
            if (!same && wrong++ < 5) ADD_FAILURE() << "cell (" << column << ", " << row << ") differs";
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The way the console uses it: a frame is built only when it can be sent.
// Frames 2-5 arrive while frame 1 is stalled and are never built; frame 6
// goes out as changes against frame 1, and the terminal shows frame 6.
TEST(FrameWriter, SkipsFramesWhileTheTerminalStallsAndSendsTheNewestAgainstTheLastSent) {
    const auto frames = framesChangingBit(6);
    StalledSink terminal;
    AnsiFrameBuilder builder;
    std::vector<uint32_t> built;
    {
        FrameWriter writer(terminal.sink(), MaxFrameBytes, 16);
        for (uint32_t n = 1; n <= 6; ++n) {
            if (n == 6) {
                terminal.release();
                writer.waitUntilIdle();
            }
            if (writer.busy()) continue;
            built.push_back(n);
            ASSERT_TRUE(writer.send({}, builder.build(frames[n - 1].data()), n));
            if (n == 1) {
                terminal.waitForStarted(1);
                EXPECT_TRUE(writer.busy());
                EXPECT_FALSE(writer.send({}, "late", 99)) << "a second frame while the first is out";
            }
        }
        terminal.release();
        writer.waitUntilIdle();
        ASSERT_EQ(writer.written().size(), 2u);
        EXPECT_EQ(writer.written()[0].frame, 1u);
        EXPECT_EQ(writer.written()[1].frame, 6u);
        for (const FrameWriter::Written& w : writer.written()) EXPECT_LE(w.handedNs, w.doneNs);
    }
    EXPECT_EQ(built, (std::vector<uint32_t>{1, 6}));
    const std::vector<std::string> writes = terminal.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].find(TermSeq::ClearScreen), std::string::npos) << "changes only, no repaint";

    EmulatedTerminal shown(CellRows, CellColumns);
    shown.feed(TermSeq::ConsoleEnter);
    for (const std::string& w : writes) shown.feed(w);
    EmulatedTerminal expected(CellRows, CellColumns);
    expected.feed(TermSeq::ConsoleEnter);
    AnsiFrameBuilder whole;
    expected.feed(whole.build(frames[5].data()));
    expectSameScreens(shown, expected);
}

TEST(FrameWriter, ThePrefixAndTheFrameGoInOneWriteAndALargerFrameGrowsTheBuffer) {
    StalledSink terminal;
    terminal.release();
    terminal.release();
    const std::string large(3 * MaxFrameBytes, 'x');
    {
        FrameWriter writer(terminal.sink(), 16);
        ASSERT_TRUE(writer.send("enter;", "frame"));
        writer.waitUntilIdle();
        ASSERT_TRUE(writer.send({}, large));
        writer.waitUntilIdle();
        EXPECT_TRUE(writer.written().empty()) << "no records asked for";
    }
    EXPECT_EQ(terminal.writes(), (std::vector<std::string>{"enter;frame", large}));
}

// The restore comes after the frame in progress, so ending waits for it.
TEST(FrameWriter, EndingLetsTheFrameInProgressFinish) {
    StalledSink terminal;
    std::thread reader;
    {
        FrameWriter writer(terminal.sink());
        ASSERT_TRUE(writer.send({}, "the whole frame"));
        terminal.waitForStarted(1);
        reader = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            terminal.release();
        });
    }
    reader.join();
    EXPECT_EQ(terminal.writes(), (std::vector<std::string>{"the whole frame"}));
}

// A fault handler on the writer's own thread gives the terminal back
// there: waiting for the writer must not wait for itself.
TEST(FrameWriter, WaitingOnTheWritersOwnThreadReturnsAtOnce) {
    bool returned = false;
    FrameWriter* self = nullptr;
    FrameWriter writer(
        [&](const char*, size_t) {
            self->waitUntilIdle();
            returned = true;
            return true;
        },
        16);
    self = &writer;
    ASSERT_TRUE(writer.send({}, "frame"));
    writer.waitUntilIdle();
    EXPECT_TRUE(returned);
}

TEST(FrameWriter, AFailedWriteLeavesItReadyForTheNext) {
    int calls = 0;
    FrameWriter writer(
        [&](const char*, size_t) {
            ++calls;
            return false;
        },
        16, 4);
    ASSERT_TRUE(writer.send({}, "a", 1));
    writer.waitUntilIdle();
    ASSERT_TRUE(writer.send({}, "b", 2));
    writer.waitUntilIdle();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(writer.written().size(), 2u);
}

}  // namespace
