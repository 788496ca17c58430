// Threads, the engine mutex and the stop signal on Windows.
#include <windows.h>

#include "audio/output.h"

namespace Aurix {

// The engine mutex is a critical section: it spins a little before it sleeps,
// as the lock is only ever held for one block's mix.
void* createMutex() {
    auto* section = new CRITICAL_SECTION;
    if (!InitializeCriticalSectionAndSpinCount(section, 100)) {
        delete section;
        return nullptr;
    }
    return section;
}

void destroyMutex(void* mutex) {
    if (mutex == nullptr) return;
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(mutex));
    delete static_cast<CRITICAL_SECTION*>(mutex);
}

void enterMutex(void* mutex) {
    if (mutex != nullptr) EnterCriticalSection(static_cast<CRITICAL_SECTION*>(mutex));
}

void leaveMutex(void* mutex) {
    if (mutex != nullptr) LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(mutex));
}

struct ThreadHandle {
    HANDLE thread;
};

namespace {

// Allocated by the thread's creator, freed by the thread itself.
struct ThreadStart {
    void (*function)(void*);
    void* argument;
};

DWORD WINAPI threadEntry(LPVOID record) {
    auto* start = static_cast<ThreadStart*>(record);
    start->function(start->argument);
    delete start;
    return 0;
}

}  // namespace

ThreadHandle* startThread(void (*function)(void*), void* argument) {
    auto* start = new ThreadStart{function, argument};
    const HANDLE thread = CreateThread(nullptr, 0, threadEntry, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        return nullptr;
    }
    return new ThreadHandle{thread};
}

void joinThread(ThreadHandle* thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread->thread, INFINITE);
    CloseHandle(thread->thread);
    delete thread;
}

// A manual-reset event: once raised it stays raised for every later wait.
struct StopSignal {
    HANDLE event;
};

StopSignal* createStopSignal() {
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return nullptr;
    return new StopSignal{event};
}

void destroyStopSignal(StopSignal* signal) {
    if (signal == nullptr) return;
    CloseHandle(signal->event);
    delete signal;
}

void raiseStopSignal(StopSignal* signal) {
    SetEvent(signal->event);
}

bool stopRaised(StopSignal* signal) {
    return WaitForSingleObject(signal->event, 0) == WAIT_OBJECT_0;
}

bool waitForStop(StopSignal* signal, uint64_t deadline) {
    // Timed waits may return a little early; wait again for the rest.
    for (;;) {
        const uint64_t now = monotonicNanoseconds();
        if (now >= deadline) return stopRaised(signal);
        const uint64_t milliseconds = (deadline - now + 999999u) / 1000000u;
        const DWORD timeout = milliseconds < 0x7FFFFFFFu ? DWORD(milliseconds) : DWORD(0x7FFFFFFF);
        if (WaitForSingleObject(signal->event, timeout) == WAIT_OBJECT_0) return true;
    }
}

uint64_t monotonicNanoseconds() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return uint64_t(f.QuadPart);
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    const uint64_t ticks = uint64_t(count.QuadPart);
    // Whole seconds and the remainder apart, so the product cannot overflow.
    return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}

}  // namespace Aurix
