// Thread and lock routines in the browser. The page has one thread (threads
// of its own would need cross-origin isolation), so no thread starts and no
// lock is made: an output that needs a mixing thread (the silent one) fails
// to open and releases what it made. Web Audio needs neither.
#include <emscripten/emscripten.h>

#include "audio/output.h"

namespace Aurix {

void* createMutex() {
    return nullptr;
}

void destroyMutex(void*) {}

void enterMutex(void*) {}

void leaveMutex(void*) {}

struct ThreadHandle {};

ThreadHandle* startThread(void (*)(void*), void*) {
    return nullptr;
}

void joinThread(ThreadHandle* thread) {
    delete thread;
}

struct StopSignal {
    bool raised = false;
};

StopSignal* createStopSignal() {
    return new StopSignal;
}

void destroyStopSignal(StopSignal* signal) {
    delete signal;
}

void raiseStopSignal(StopSignal* signal) {
    signal->raised = true;
}

bool stopRaised(StopSignal* signal) {
    return signal->raised;
}

// Nothing can raise the signal while this thread waits, and the page's
// thread must not block: the wait ends at once.
bool waitForStop(StopSignal* signal, uint64_t) {
    return signal->raised;
}

uint64_t monotonicNanoseconds() {
    return static_cast<uint64_t>(emscripten_get_now() * 1e6);
}

}  // namespace Aurix
