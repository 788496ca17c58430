// Inside hg_audio: the output backends and the thread and lock routines they
// share. Each backend is one file with an open/close pair; open makes the
// device, the engine mutex (installed as acquireHook/releaseHook) and one
// mixing thread that pulls AudioEngine::renderBlock, and sets close as the
// engine's backendShutdownHook. An open that fails releases exactly what it
// made and leaves the engine without a backend. Which backend a selector
// means is decided in output_select.cpp and nowhere else.
#pragma once

#include <cstdint>

#include "audio/aurix.h"

namespace Aurix {

// start's choice of backend (output_select.cpp).
AudioStatus openOutput(AudioEngine& engine, uint32_t selector);

// Device backends, one per platform, and the silent one everywhere. The
// browser's (Web Audio) has neither a thread nor a lock: the page's one
// thread pulls the blocks.
AudioStatus openAlsa(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);  // output_alsa.cpp
void closeAlsa(AudioEngine& engine);
AudioStatus openWaveOut(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);  // output_waveout.cpp
void closeWaveOut(AudioEngine& engine);
AudioStatus openWebAudio(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);  // output_webaudio.cpp
void closeWebAudio(AudioEngine& engine);
AudioStatus openSilent(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);  // output_silent.cpp
void closeSilent(AudioEngine& engine);

// The engine mutex: made by a backend's open, gone with its close.
bool installEngineLock(AudioEngine& engine);
void removeEngineLock(AudioEngine& engine);

// Thread and lock routines, one file per platform (threads_posix.cpp).
void* createMutex();
void destroyMutex(void* mutex);
void enterMutex(void* mutex);  // the engine's acquireHook; nothing for a null mutex
void leaveMutex(void* mutex);  // the engine's releaseHook; nothing for a null mutex

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

// Where silent pacing stands, for the silent output's position answer:
// written by the pacing thread, read by the main thread.
struct SilentClock;
// Null when its mutex cannot be made.
SilentClock* createSilentClock(uint32_t blockFrames, uint32_t rate, uint32_t inFlight);
void destroySilentClock(SilentClock* clock);
// The clock's play position at monotonic time `now`; false before the
// first block, and while the pacing thread is more than a block behind its
// time (the process was stopped and has not caught up yet).
bool silentPosition(SilentClock& clock, uint64_t now, OutputPosition& position);
// The pacing thread's report: `blocks` blocks given so far, frame 0 heard
// at monotonic time `start`.
void silentClockGave(SilentClock& clock, uint64_t start, uint64_t blocks);

// Pulls renderBlock at the device's pace and drops the blocks, until the
// signal is raised. Block k is due at start + max(0, k + 1 - inFlight) block
// times: a fresh output has two blocks in flight at once, as a device does.
// A wake more than a block late (the process was stopped) moves the start
// on by the lateness: the sound goes on from where it stood instead of
// mixing the missed blocks back to back. `clock` may be null.
void paceSilently(AudioEngine& engine, float* mixBuffer, uint32_t blockFrames, uint32_t rate, StopSignal* stop,
                  uint32_t inFlight, SilentClock* clock);

}  // namespace Aurix
