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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool FrameWriter::send(std::string_view prefix, std::string_view frame, uint32_t number) {
    if (busy()) return false;
    // Idle: the writer does not touch the buffer until pending_ is seen.
    // Grows only when a frame is larger than any before (after a resize).
    bytes_.resize(prefix.size() + frame.size());
    std::copy(prefix.begin(), prefix.end(), bytes_.begin());
    std::copy(frame.begin(), frame.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(prefix.size()));
    number_ = number;
    handedNs_ = recordLimit_ > 0 ? monotonicNanoseconds() : 0;
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
    const timespec millisecond{0, 1000000};
    while (busy()) nanosleep(&millisecond, nullptr);
}

void FrameWriter::run() {
    onWriterThread = true;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stop_; });
        if (!pending_) return;  // stopping, nothing left to write
        pending_ = false;
        lock.unlock();
        if (!bytes_.empty()) sink_(bytes_.data(), bytes_.size());
        if (written_.size() < recordLimit_)
            written_.push_back({number_, static_cast<uint32_t>(bytes_.size()), handedNs_, monotonicNanoseconds()});
        busy_.store(false, std::memory_order_release);
        lock.lock();
    }
}
