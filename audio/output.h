// Inside hg_audio: the output backends, the one binding that joins a backend
// to the engine, and the thread and lock routines they share.
//
// The binding (output_select.cpp) is the only writer of the engine's output
// fields: backendState, mutexHandle, acquireHook/releaseHook,
// backendShutdownHook, backendPositionHook, backendKind, backendName and
// outputMessage. Which backend a selector means is decided there too, and
// nowhere else. A backend is one file with an open function and an
// OutputBackend; its open:
//  1. allocates its record, which begins with a BoundOutput, and makes its
//     device; whatever fails goes to failOutput with the reason, naming the
//     device;
//  2. calls bindOutput: the record becomes backendState, the binding's
//     closeOutput the shutdown hook, the engine lock is made (for a backend
//     with a mixing thread), the engine is configured and the name and the
//     position answer are set;
//  3. starts its mixing thread, which pulls AudioEngine::renderBlock.
// Its one release serves a failed open and the close alike: it stops the
// thread (if one runs), calls unbindOutput, then frees the device and the
// record, skipping whatever was not made.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/aurix.h"

namespace Aurix {

struct BoundOutput;

// What a backend is to the binding.
struct OutputBackend {
    const char* name;    // the engine's backendName
    const char* device;  // the device in messages, e.g. ALSA "default"
    // A thread of its own pulls the blocks, so the engine lock is made. The
    // browser's output has none: the page's one thread pulls the blocks.
    bool mixingThread;
    void (*release)(BoundOutput& output);
    // The device's play position (see OutputPosition); false while it is not
    // playing. Null: the output cannot tell, and the demo's frames then keep
    // the system clock alone.
    bool (*position)(BoundOutput& output, OutputPosition& position);
};

// The start of every backend's record.
struct BoundOutput {
    BoundOutput(AudioEngine& owner, const OutputBackend& kind) : engine(owner), backend(kind) {}
    BoundOutput(const BoundOutput&) = delete;
    BoundOutput& operator=(const BoundOutput&) = delete;

    AudioEngine& engine;
    const OutputBackend& backend;
    // What went wrong while playing, told by the mixing thread (see
    // outputGaveUp) and read by AudioEngine::outputReport.
    std::atomic<uint32_t> underruns{0};
    std::atomic<bool> gaveUp{false};
    std::string whyGaveUp;  // written once, before gaveUp is set
};

// start's choice of backend, and the close that is every backend's shutdown hook.
AudioStatus openOutput(AudioEngine& engine, uint32_t selector);
void closeOutput(AudioEngine& engine);

// The device backends, one per platform, and the silent one everywhere;
// each is called with 44 100 Hz and 4096-frame blocks.
AudioStatus openAlsa(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);      // output_alsa.cpp
AudioStatus openWaveOut(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);   // output_waveout.cpp
AudioStatus openWebAudio(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);  // output_webaudio.cpp
AudioStatus openSilent(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);    // output_silent.cpp

// Step 2 of an open. False when the engine lock cannot be made: the
// output is then released (through failOutput) and the open fails.
bool bindOutput(BoundOutput& output, uint32_t rate, uint32_t blockFrames);
// The release's part: gives the engine's fields back; nothing for an
// output that is not bound. The mixing thread must have ended.
void unbindOutput(BoundOutput& output);
// A failed open: notes why, releases what was made, returns GeneralFailure.
AudioStatus failOutput(BoundOutput& output, std::string why);
// The mixing thread's word that its device failed for good or cannot be
// believed; the thread then paces silently. Once per output.
void outputGaveUp(BoundOutput& output, std::string why);

// The engine mutex alone, without a backend (bindOutput makes it too).
bool installEngineLock(AudioEngine& engine);
void removeEngineLock(AudioEngine& engine);

// Thread and lock routines, one file per platform (threads_posix.cpp). The
// one vocabulary for threads and mutexes inside hg_audio.
void* createMutex();
void destroyMutex(void* mutex);
void enterMutex(void* mutex);  // the engine's acquireHook; nothing for a null mutex
void leaveMutex(void* mutex);  // the engine's releaseHook; nothing for a null mutex

// Holds a mutex for a scope.
class MutexScope {
public:
    explicit MutexScope(void* mutex) : held(mutex) { enterMutex(held); }
    ~MutexScope() { leaveMutex(held); }
    MutexScope(const MutexScope&) = delete;
    MutexScope& operator=(const MutexScope&) = delete;

private:
    void* held;
};

// A started thread; joinThread waits for it and frees the handle.
struct ThreadHandle;
ThreadHandle* startThread(void (*function)(void* argument), void* argument);
void joinThread(ThreadHandle* thread);

// A stop request that a mixing thread can sleep on until a deadline.
struct StopSignal;
StopSignal* createStopSignal();
void destroyStopSignal(StopSignal* signal);
void raiseStopSignal(StopSignal* signal);
bool stopRaised(StopSignal* signal);
// Sleeps until the monotonic clock reaches deadline (ns) or the signal is
// raised; true when it was raised.
bool waitForStop(StopSignal* signal, uint64_t deadline);
uint64_t monotonicNanoseconds();

// Where silent pacing stands, for a position answer: written by the pacing
// thread, read by the main thread.
struct SilentClock;
// Null when its mutex cannot be made.
SilentClock* createSilentClock(uint32_t blockFrames, uint32_t rate, uint32_t inFlight);
void destroySilentClock(SilentClock* clock);
// The clock's play position at monotonic time `now`; false before the
// first block, and while the pacing thread is more than a block behind its
// time (the process was stopped and has not caught up yet).
bool silentPosition(SilentClock& clock, uint64_t now, OutputPosition& position);
// The pacing thread's report: `blocks` blocks given so far, after
// `framesBefore` frames a device took before the pacing began, the first
// paced frame heard at monotonic time `start`.
void silentClockGave(SilentClock& clock, uint64_t start, uint64_t framesBefore, uint64_t blocks);

// Pulls renderBlock at the device's pace and drops the blocks, until the
// signal is raised. Block k is due at start + max(0, k + 1 - inFlight) block
// times: a fresh output has two blocks in flight at once, as a device does.
// A wake more than a block late (the process was stopped) moves the start
// on by the lateness: the sound goes on from where it stood instead of
// mixing the missed blocks back to back. `clock` may be null;
// `framesBefore`: what a device took before it was given up.
void paceSilently(AudioEngine& engine, float* mixBuffer, uint32_t blockFrames, uint32_t rate, StopSignal* stop,
                  uint32_t inFlight, SilentClock* clock, uint64_t framesBefore = 0);

}  // namespace Aurix
