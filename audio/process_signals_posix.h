// Threads started while a ProcessSignalsHeld lives take none of the signals
// sent to the process: the kernel hands those to a thread that does not
// hold them, the program's own, so its handlers run where they expect to
// (a terminal program restores its terminal from its main thread, and a
// signal passed on from here could arrive after a stop). Faults stay
// deliverable: they belong to the thread that caused them.
#pragma once

#include <csignal>
#include <pthread.h>

namespace Aurix {

class ProcessSignalsHeld {
public:
    ProcessSignalsHeld() {
        sigset_t held;
        sigfillset(&held);
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) sigdelset(&held, sig);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~ProcessSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    ProcessSignalsHeld(const ProcessSignalsHeld&) = delete;
    ProcessSignalsHeld& operator=(const ProcessSignalsHeld&) = delete;

private:
    sigset_t previous_;
};

}  // namespace Aurix
