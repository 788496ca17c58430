// The silent output: no device. A thread pulls renderBlock at the pace a
// device would and drops the blocks, so voices advance in real time and a
// soundtrack ends when it would have been heard to end. Its play position
// is where that pace has reached, as a device's would be.
#include <algorithm>

#include "audio/output.h"

namespace Aurix {

struct SilentClock {
    uint64_t blockFrames;
    uint32_t rate;
    uint32_t inFlight;
    void* lock;                 // threads_*.cpp's mutex
    uint64_t start = 0;         // monotonic ns at which the first paced frame was heard; under lock
    uint64_t framesBefore = 0;  // frames a device took before the pacing began; under lock
    uint64_t blocksGiven = 0;   // under lock
};

namespace {

struct SilentOutput : BoundOutput {
    using BoundOutput::BoundOutput;
    float* mixBuffer = nullptr;
    uint32_t blockFrames = 0;
    uint32_t rate = 0;
    StopSignal* stop = nullptr;
    SilentClock* clock = nullptr;
    ThreadHandle* thread = nullptr;
};

constexpr uint32_t SilentInFlight = 2;

// Nanoseconds from the start to the start of block `played` (never drifts: from the start each time).
uint64_t blockStart(uint64_t played, uint64_t blockFrames, uint32_t rate) {
    return played * blockFrames * 1000000000u / rate;
}

void silentMixLoop(void* state) {
    auto* output = static_cast<SilentOutput*>(state);
    paceSilently(output->engine, output->mixBuffer, output->blockFrames, output->rate, output->stop, SilentInFlight,
                 output->clock);
}

bool silentOutputPosition(BoundOutput& bound, OutputPosition& position) {
    auto& output = static_cast<SilentOutput&>(bound);
    return silentPosition(*output.clock, monotonicNanoseconds(), position);
}

// Releases what exists, newest first; used by a failed open and by close.
void releaseSilent(BoundOutput& bound) {
    auto* output = static_cast<SilentOutput*>(&bound);
    if (output->thread != nullptr) {
        raiseStopSignal(output->stop);
        joinThread(output->thread);
    }
    unbindOutput(*output);
    destroySilentClock(output->clock);
    destroyStopSignal(output->stop);
    delete[] output->mixBuffer;
    delete output;
}

constexpr OutputBackend Silent{"Silent", "the silent output", true, releaseSilent, silentOutputPosition};

}  // namespace

SilentClock* createSilentClock(uint32_t blockFrames, uint32_t rate, uint32_t inFlight) {
    void* mutex = createMutex();
    if (mutex == nullptr) return nullptr;
    auto* clock = new SilentClock;
    clock->lock = mutex;
    clock->blockFrames = blockFrames;
    clock->rate = rate;
    clock->inFlight = inFlight;
    return clock;
}

void destroySilentClock(SilentClock* clock) {
    if (clock == nullptr) return;
    destroyMutex(clock->lock);
    delete clock;
}

bool silentPosition(SilentClock& clock, uint64_t now, OutputPosition& position) {
    MutexScope guard(clock.lock);
    if (clock.blocksGiven == 0 || now < clock.start) return false;
    // The next block falls due when the one before it has been heard; a
    // pacing thread a whole block past that has been stopped, and will move
    // its start on when it wakes.
    const uint64_t nextPlayed = clock.blocksGiven + 1 > clock.inFlight ? clock.blocksGiven + 1 - clock.inFlight : 0;
    const uint64_t late = clock.start + blockStart(nextPlayed + 1, clock.blockFrames, clock.rate);
    if (now > late) return false;
    const uint64_t given = clock.blocksGiven * clock.blockFrames;
    const uint64_t heard = std::min<uint64_t>(given, (now - clock.start) * clock.rate / 1000000000u);
    position.framesGiven = clock.framesBefore + given;
    position.framesHeld = given - heard;
    return true;
}

void silentClockGave(SilentClock& clock, uint64_t start, uint64_t framesBefore, uint64_t blocks) {
    MutexScope guard(clock.lock);
    clock.start = start;
    clock.framesBefore = framesBefore;
    clock.blocksGiven = blocks;
}

void paceSilently(AudioEngine& engine, float* mixBuffer, uint32_t blockFrames, uint32_t rate, StopSignal* stop,
                  uint32_t inFlight, SilentClock* clock, uint64_t framesBefore) {
    uint64_t start = monotonicNanoseconds();
    const uint64_t blockNanoseconds = blockStart(1, blockFrames, rate);
    for (uint64_t block = 0;; ++block) {
        const uint64_t played = block + 1 > inFlight ? block + 1 - inFlight : 0;
        uint64_t due = start + blockStart(played, blockFrames, rate);
        if (waitForStop(stop, due)) return;
        const uint64_t now = monotonicNanoseconds();
        if (now > due + blockNanoseconds) {
            start += now - due;
            due = now;
        }
        engine.renderBlock(mixBuffer, blockFrames);
        if (clock != nullptr) silentClockGave(*clock, start, framesBefore, block + 1);
    }
}

AudioStatus openSilent(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    auto* output = new SilentOutput(engine, Silent);
    output->blockFrames = blockFrames;
    output->rate = rate;
    output->stop = createStopSignal();
    if (output->stop == nullptr) return failOutput(*output, "cannot make the pacing thread's stop signal");
    output->clock = createSilentClock(blockFrames, rate, SilentInFlight);
    if (output->clock == nullptr) return failOutput(*output, "cannot make the silent clock's mutex");
    output->mixBuffer = new float[2 * size_t(blockFrames)]();
    if (!bindOutput(*output, rate, blockFrames)) return GeneralFailure;
    output->thread = startThread(silentMixLoop, output);
    if (output->thread == nullptr) return failOutput(*output, "cannot start the pacing thread");
    return Success;
}

}  // namespace Aurix
