// Threads, the engine mutex and the stop signal on POSIX.
#include <cerrno>
#include <ctime>
#include <pthread.h>

#include "audio/output.h"
#include "audio/process_signals_posix.h"

namespace Aurix {

void* createMutex() {
    auto* mutex = new pthread_mutex_t;
    if (pthread_mutex_init(mutex, nullptr) != 0) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

void destroyMutex(void* mutex) {
    if (mutex == nullptr) return;
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(mutex));
    delete static_cast<pthread_mutex_t*>(mutex);
}

void enterMutex(void* mutex) {
    if (mutex != nullptr) pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex));
}

void leaveMutex(void* mutex) {
    if (mutex != nullptr) pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex));
}

constexpr const char* ThreadName = "aurix-mixer";

struct ThreadHandle {
    pthread_t thread;
};

namespace {

struct ThreadStart {
    void (*function)(void*);
    void* argument;
};

void* threadEntry(void* record) {
    auto* start = static_cast<ThreadStart*>(record);
    start->function(start->argument);
    delete start;
    return nullptr;
}

}  // namespace

ThreadHandle* startThread(void (*function)(void*), void* argument) {
    auto* start = new ThreadStart{function, argument};
    auto* handle = new ThreadHandle;
    int created;
    {
        // The mixing thread is born holding the process's signals.
        ProcessSignalsHeld held;
        created = pthread_create(&handle->thread, nullptr, threadEntry, start);
    }
    if (created != 0) {
        delete start;
        delete handle;
        return nullptr;
    }
    // Named so it can be told apart in a debugger, top or /proc.
    pthread_setname_np(handle->thread, ThreadName);
    return handle;
}

void joinThread(ThreadHandle* thread) {
    if (thread == nullptr) return;
    pthread_join(thread->thread, nullptr);
    delete thread;
}

struct StopSignal {
    pthread_mutex_t mutex;
    pthread_cond_t wake;
    bool raised = false;
};

StopSignal* createStopSignal() {
    auto* signal = new StopSignal;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    const bool made = pthread_mutex_init(&signal->mutex, nullptr) == 0;
    if (!made || pthread_cond_init(&signal->wake, &attributes) != 0) {
        if (made) pthread_mutex_destroy(&signal->mutex);
        pthread_condattr_destroy(&attributes);
        delete signal;
        return nullptr;
    }
    pthread_condattr_destroy(&attributes);
    return signal;
}

void destroyStopSignal(StopSignal* signal) {
    if (signal == nullptr) return;
    pthread_cond_destroy(&signal->wake);
    pthread_mutex_destroy(&signal->mutex);
    delete signal;
}

void raiseStopSignal(StopSignal* signal) {
    pthread_mutex_lock(&signal->mutex);
    signal->raised = true;
    pthread_cond_broadcast(&signal->wake);
    pthread_mutex_unlock(&signal->mutex);
}

bool stopRaised(StopSignal* signal) {
    pthread_mutex_lock(&signal->mutex);
    const bool raised = signal->raised;
    pthread_mutex_unlock(&signal->mutex);
    return raised;
}

bool waitForStop(StopSignal* signal, uint64_t deadline) {
    timespec until{};
    until.tv_sec = time_t(deadline / 1000000000u);
    until.tv_nsec = long(deadline % 1000000000u);
    pthread_mutex_lock(&signal->mutex);
    while (!signal->raised) {
        if (pthread_cond_timedwait(&signal->wake, &signal->mutex, &until) == ETIMEDOUT) break;
    }
    const bool raised = signal->raised;
    pthread_mutex_unlock(&signal->mutex);
    return raised;
}

uint64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

}  // namespace Aurix
