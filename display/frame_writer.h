// The frame writer: one frame at a time on its way to a terminal that may
// take its bytes more slowly than the demo makes them, so that the frame
// loop never waits on it.
//
// A thread of its own writes what it is handed through a blocking sink (the
// console's write loop), at the time it is told: a frame sent ahead of its
// moment waits here, in short sleeps, while the frame loop goes on. The frame loop asks busy() before it builds a
// frame: while the last frame handed over is not all written, the new one is
// neither built nor sent (skipped), and the next frame that is sent carries
// the newest cells as changes against the last frame sent, since that is
// what the terminal shows. A one-frame mailbox: nothing ever queues behind a
// slow terminal, so what it shows stays on the frame clock.
//
// Threads: send() on one thread (the frame loop's), the writing on the
// writer's. busy() and waitUntilIdle() are lock-free and async-signal-safe,
// for the signal path that gives the terminal back after the frame in
// progress. The writer thread takes the signal mask of the thread that makes
// it: make it with the terminal's signals held so that no handler runs on it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

class FrameWriter {
public:
    // Writes all the bytes, blocking as long as it takes; false when it
    // failed for good (the writer goes on taking frames regardless).
    using Sink = std::function<bool(const char* bytes, size_t count)>;

    // One frame that was written: its number as given to send(), its size,
    // and when it was handed over and when its last byte was written
    // (CLOCK_MONOTONIC nanoseconds).
    struct Written {
        uint32_t frame;
        uint32_t bytes;
        uint64_t handedNs;
        uint64_t doneNs;
    };

    // `frameBytes`: the buffer reserved for one frame (it grows, between
    // frames, for a larger one). `records`: how many Written entries to keep
    // (0: none); later frames are not recorded.
    explicit FrameWriter(Sink sink, size_t frameBytes = 0, size_t records = 0);
    // Lets the frame in progress finish, then ends the thread.
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // True while the bytes last handed over are not all written.
    bool busy() const { return busy_.load(std::memory_order_acquire); }

    // Hands over `frame` then `suffix` (copied; written with one sink call),
    // to be written once CLOCK_MONOTONIC reaches `notBeforeNs` (held until
    // then, and busy meanwhile). Only while !busy(); returns false, sending
    // nothing, otherwise.
    bool send(std::string_view frame, std::string_view suffix = {}, uint32_t number = 0, uint64_t notBeforeNs = 0);

    // Waits, polling every millisecond, until nothing is being written; a
    // frame held for its time is written at once. Async-signal-safe.
    // Returns at once on the writer's own thread.
    void waitUntilIdle() const;

    // The frames written so far, oldest first. Only while idle.
    const std::vector<Written>& written() const { return written_; }

private:
    static constexpr uint64_t HoldSlice = 2000000u;  // ns

    void run();
    void holdUntil(bool stopping) const;

    Sink sink_;
    std::vector<char> bytes_;  // the frame handed over; the writer's while busy
    uint32_t number_ = 0;
    uint64_t handedNs_ = 0;
    uint64_t notBeforeNs_ = 0;
    std::vector<Written> written_;
    size_t recordLimit_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;  // under mutex_
    bool stop_ = false;     // under mutex_
    std::atomic<bool> busy_{false};
    mutable std::atomic<bool> hurry_{false};  // write the held frame now
    std::thread thread_;
};

// CLOCK_MONOTONIC in nanoseconds (the clock the demo's frame log uses too).
uint64_t monotonicNanoseconds();
