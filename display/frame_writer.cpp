#include "display/frame_writer.h"

#include <algorithm>
#include <ctime>

namespace {

// Set on the writer's thread only: a fault handler running there must not
// wait for itself.
thread_local bool onWriterThread = false;

}  // namespace

uint64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

FrameWriter::FrameWriter(Sink sink, size_t frameBytes, size_t records) : sink_(std::move(sink)), recordLimit_(records) {
    bytes_.reserve(frameBytes);
    written_.reserve(records);
    thread_ = std::thread([this] { run(); });
}

FrameWriter::~FrameWriter() {
    hurry_.store(true, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool FrameWriter::send(std::string_view frame, std::string_view suffix, uint32_t number, uint64_t notBeforeNs) {
    if (busy()) return false;
    // Idle: the writer does not touch the buffer until pending_ is seen.
    // Grows only when a frame is larger than any before (after a resize).
    bytes_.resize(frame.size() + suffix.size());
    std::copy(frame.begin(), frame.end(), bytes_.begin());
    std::copy(suffix.begin(), suffix.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(frame.size()));
    number_ = number;
    notBeforeNs_ = notBeforeNs;
    handedNs_ = recordLimit_ > 0 ? monotonicNanoseconds() : 0;
    hurry_.store(false, std::memory_order_relaxed);
    busy_.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = true;
    }
    wake_.notify_one();
    return true;
}

void FrameWriter::waitUntilIdle() const {
    if (onWriterThread) return;
    hurry_.store(true, std::memory_order_relaxed);
    const timespec millisecond{0, 1000000};
    while (busy()) nanosleep(&millisecond, nullptr);
}

// Sleeps in short slices until the frame's time, so that a hurry (the
// terminal given back) is seen at once.
void FrameWriter::holdUntil(bool stopping) const {
    const uint64_t slice = HoldSlice;
    while (!stopping && !hurry_.load(std::memory_order_relaxed)) {
        const uint64_t now = monotonicNanoseconds();
        if (now >= notBeforeNs_) return;
        const uint64_t wait = std::min(slice, notBeforeNs_ - now);
        const timespec pause{0, static_cast<long>(wait)};
        nanosleep(&pause, nullptr);
    }
}

void FrameWriter::run() {
    onWriterThread = true;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stop_; });
        if (!pending_) return;  // stopping, nothing left to write
        pending_ = false;
        const bool stopping = stop_;
        lock.unlock();
        holdUntil(stopping);
        if (!bytes_.empty()) sink_(bytes_.data(), bytes_.size());
        if (written_.size() < recordLimit_)
            written_.push_back({number_, static_cast<uint32_t>(bytes_.size()), handedNs_, monotonicNanoseconds()});
        busy_.store(false, std::memory_order_release);
        lock.lock();
    }
}
