// The signals whose default action ends the process, for the programs that
// must clean up before they go (the demo gives the terminal back, the render
// tool removes its temporary files) and then die of the signal itself, so
// that the caller still sees how they ended. POSIX only.
#pragma once

#include <csignal>

namespace endingsignals {

constexpr int Fixed[] = {
    SIGINT,    SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGVTALRM, SIGPROF,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

// The real-time signals end the process by default too; their range is
// known only at run time.
template <typename Visit>
void forEach(Visit visit) {
    for (int sig : Fixed) visit(sig);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) visit(sig);
#endif
}

}  // namespace endingsignals
