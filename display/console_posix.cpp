// The console on a POSIX terminal: an alternate screen with wrapping and
// echo off, frames as ANSI sequences at the terminal's own size
// (display/terminal_picture.h), and every change undone on the way out,
// signals and crashes included.
//
// Keys are read from standard input when it is a terminal, else from the
// controlling terminal (demo/keys_posix.cpp); that terminal is the one whose
// echo and line mode are turned off here.
//
// Signal path: the handlers only write the prepared restore string, call
// tcsetattr and then re-raise the signal, all async-signal-safe, and on the
// main thread only (other threads pass the signal on). Other events
// (resize, resume) only set flags that the next frame reads.
//
// Frames go out through a writer thread (display/frame_writer.h): a frame
// is built and sent only once the terminal has taken the one before, so a
// slow terminal shows fewer frames, each on time, and the frame loop never
// waits on it. Every restore waits for the frame in progress to be written
// (the terminal gets no half frame and nothing after the restore). An ending
// signal while frames run only ends the frame loop, so the sound stops at
// once even when the terminal has stopped reading; restoreConsole then gives
// the terminal back once it takes bytes again and dies of the signal.
//
// HAZELGLOW_SENT_LOG names a file that gets, at the end, one line per frame
// sent: "sent <frame> <bytes> <handed ns> <written ns>" (frame: the count of
// presentCells calls; times on CLOCK_MONOTONIC).
#include "display/console.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "display/ascii_art.h"
#include "display/frame_writer.h"
#include "display/term_sequences.h"
#include "display/terminal_picture.h"
#include "display/titles.h"
#include "effects/buffers.h"

namespace {

// Every signal whose default action ends the process gives the terminal
// back first. These then die of the signal itself (its default action), so
// the caller sees how the demo ended: a shell's loop stops on Ctrl+C and
// still reads 128 + n as the status.
constexpr int EndingSignals[] = {
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
// Faults: the terminal is given back, then the signal goes to whoever had it
// before (the default action: a core dump, or a sanitizer's report).
constexpr int FaultSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ};
constexpr int FlagSignals[] = {SIGWINCH, SIGCONT};

// The real-time signals end the process by default too; their range is
// known only at run time.
template <typename Visit>
void forEachEndingSignal(Visit visit) {
    for (int sig : EndingSignals) visit(sig);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) visit(sig);
#endif
}

sigset_t onlySignal(int sig) {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    return only;
}

// Signals that would cut a frame or the restore in half: held around both,
// and while a handler gives the terminal back.
sigset_t heldSignals() {
    sigset_t held;
    sigemptyset(&held);
    forEachEndingSignal([&](int sig) { sigaddset(&held, sig); });
    for (int sig : FlagSignals) sigaddset(&held, sig);
    sigaddset(&held, SIGTSTP);
    return held;
}

constexpr int Output = STDOUT_FILENO;
int termiosFd = -1;  // the terminal whose settings were changed, -1: none
struct termios savedTermios;
struct termios demoTermios;

pthread_t mainThread;               // runs every frame and the restore
volatile sig_atomic_t active = 0;   // set up and not yet restored for good
volatile sig_atomic_t entered = 0;  // the terminal is in the demo's state now
volatile sig_atomic_t resizePending = 0;
volatile sig_atomic_t resumePending = 0;
std::atomic<int> lost{0};  // a write failed for good: the terminal hung up or was closed
// Frames are being presented: an ending signal only ends the frame loop.
volatile sig_atomic_t presenting = 0;
volatile sig_atomic_t endingSignal = 0;  // the signal to die of once the terminal is back, 0: none

// What each signal did before set-up, by signal number.
struct sigaction previousActions[NSIG];
bool installed[NSIG] = {};

// The terminal's size before the demo asked for 80x50, asked back on the way
// out; formatted at set-up so the signal path only writes it.
char sizeRestore[32];
size_t sizeRestoreLength = 0;

std::optional<TerminalPicture> picture;
char titleSequence[MaxTitleSequenceBytes];
size_t titleLength = 0;

std::optional<FrameWriter> writer;
uint32_t frameNumber = 0;  // presentCells calls so far
constexpr size_t SentLogRecords = 1 << 14;

// Everything written on the main thread (titles, restores) waits for the
// frame in progress: bytes never interleave, and none follow a restore.
// Async-signal-safe.
void waitForWriter() {
    if (writer.has_value()) writer->waitUntilIdle();
}

// One write loop for everything: survives EINTR, EAGAIN (someone made the
// terminal non-blocking) and short writes. Async-signal-safe.
bool writeAll(const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = write(Output, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waitFor{Output, POLLOUT, 0};
            poll(&waitFor, 1, -1);
        } else {
            // A hung-up or closed terminal never takes a byte again (with
            // SIGHUP ignored nothing else would end the demo).
            if (n < 0 && (errno == EIO || errno == ENXIO || errno == EPIPE || errno == EBADF)) lost = 1;
            return false;
        }
    }
    return true;
}

bool writeAll(std::string_view bytes) {
    return writeAll(bytes.data(), bytes.size());
}

// Async-signal-safe: puts the terminal back as it was before set-up.
// SIGTTOU is held meanwhile: a demo in a background job (stopped at set-up
// and then sent SIGTERM and SIGCONT, as `timeout` does) would otherwise be
// stopped again by its own restore, inside the handler, for good.
void leaveTerminal(int when) {
    if (!entered) return;
    entered = 0;
    const sigset_t ttou = onlySignal(SIGTTOU);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &ttou, &previous);
    waitForWriter();
    writeAll(sizeRestore, sizeRestoreLength);
    writeAll(TermSeq::ConsoleRestore);
    if (termiosFd >= 0) tcsetattr(termiosFd, when, &savedTermios);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// A background job waits here, stopped by job control (SIGTTOU), until it
// is brought to the foreground: the terminal's settings written back
// unchanged, before the ending signals are held, so that meanwhile they
// still end the demo. Stopped later, inside a held frame, it could not be
// ended but by SIGKILL.
void waitForForeground() {
    struct termios now {};
    if (termiosFd >= 0 && tcgetattr(termiosFd, &now) == 0) tcsetattr(termiosFd, TCSANOW, &now);
}

// Takes the terminal again after a stop: settings, screen, title, window.
void enterTerminal() {
    entered = 1;
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);
    writeAll(TermSeq::ConsoleEnter);
    writeAll(titleSequence, titleLength);
    writeAll(TermSeq::CursorHide);
}

// Signals for the whole process may land on any thread (the mixing
// thread, say) even while the main thread holds them around a frame write.
// Such a handler passes the signal on to the main thread, which takes it
// once the frame is out. True if it did.
bool passedToMainThread(int sig) {
    if (pthread_equal(pthread_self(), mainThread)) return false;
    pthread_kill(mainThread, sig);
    return true;
}

void unblock(int sig) {
    const sigset_t only = onlySignal(sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
}

// Dies of `sig` by its default action, the terminal given back already.
[[noreturn]] void dieOf(int sig) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(sig, &byDefault, nullptr);
    unblock(sig);
    raise(sig);
    _exit(128 + sig);  // not reached: the default action of every one of them ends the process
}

void onEndingSignal(int sig) {
    if (passedToMainThread(sig)) return;
    // The terminal may not be reading: giving it back here could wait for
    // ever with the sound playing. The frame loop ends after this frame.
    // Not entered (stopped, or a background job waiting to take the
    // terminal again): there is nothing to give back, so it ends now.
    if (presenting && entered) {
        endingSignal = sig;
        return;
    }
    leaveTerminal(TCSANOW);
    dieOf(sig);
}

void onFaultSignal(int sig) {
    leaveTerminal(TCSANOW);
    // Hand the signal to whoever had it before; it fires again when we
    // return (a real fault by running the same instruction again).
    if (sig > 0 && sig < NSIG) sigaction(sig, &previousActions[sig], nullptr);
    raise(sig);
}

void onFlagSignal(int sig) {
    if (sig == SIGWINCH) resizePending = 1;
    if (sig == SIGCONT) resumePending = 1;
}

// Ctrl+Z: give the terminal back, stop, and take it again (at the next
// frame) once continued.
void onStopSignal(int sig) {
    const int savedErrno = errno;
    if (passedToMainThread(sig)) {
        errno = savedErrno;
        return;
    }
    leaveTerminal(TCSANOW);
    struct sigaction ours {};
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(SIGTSTP, &byDefault, &ours);
    unblock(SIGTSTP);
    raise(SIGTSTP);  // stopped here until SIGCONT
    sigaction(SIGTSTP, &ours, nullptr);
    resumePending = 1;
    errno = savedErrno;
}

// `onlyIfDefault`: left alone when someone already handles it (a profiler's
// SIGPROF, say), since then it does not end the process anyway.
void install(int sig, void (*handler)(int), bool onlyIfDefault = false) {
    if (sig <= 0 || sig >= NSIG) return;
    struct sigaction action {};
    action.sa_handler = handler;
    // A signal that arrives while another handler restores waits for it.
    action.sa_mask = heldSignals();
    sigdelset(&action.sa_mask, SIGWINCH);
    sigdelset(&action.sa_mask, SIGCONT);
    action.sa_flags = SA_RESTART;
    if (sigaction(sig, nullptr, &previousActions[sig]) != 0) return;
    // A signal the caller chose to ignore (nohup, background jobs) stays ignored.
    if (previousActions[sig].sa_handler == SIG_IGN) return;
    if (onlyIfDefault && previousActions[sig].sa_handler != SIG_DFL) return;
    if (sigaction(sig, &action, nullptr) == 0) installed[sig] = true;
}

void uninstallAll() {
    for (int sig = 1; sig < NSIG; ++sig) {
        if (!installed[sig]) continue;
        sigaction(sig, &previousActions[sig], nullptr);
        installed[sig] = false;
    }
}

class SignalsHeld {
public:
    SignalsHeld() {
        const sigset_t held = heldSignals();
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// The terminal's size in cells (and in pixels, 0 when it does not say),
// or false when it does not say.
bool terminalSize(int& columns, int& rows, int* xPixels = nullptr, int* yPixels = nullptr) {
    winsize size{};
    if (ioctl(Output, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
    columns = size.ws_col;
    rows = size.ws_row;
    if (xPixels != nullptr) *xPixels = size.ws_xpixel;
    if (yPixels != nullptr) *yPixels = size.ws_ypixel;
    return true;
}

// Chooses the grid again for the terminal's size and cell shape; the next
// frame repaints everything.
void measure() {
    int columns = CellColumns, rows = CellRows, xPixels = 0, yPixels = 0;
    terminalSize(columns, rows, &xPixels, &yPixels);
    picture->setTerminal(columns, rows, cellShapeFor(columns, rows, xPixels, yPixels));
}

// The terminal keys come from: standard input when it is one, else the
// controlling terminal (standard input may be /dev/null or a pipe); -1
// when there is none.
int keyTerminal() {
    if (isatty(STDIN_FILENO)) return STDIN_FILENO;
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0 && !isatty(tty)) {
        close(tty);
        return -1;
    }
    return tty;
}

void prepareSizeRestore() {
    int columns = 0, rows = 0;
    sizeRestoreLength = 0;
    if (!terminalSize(columns, rows)) return;
    const int length =
        std::snprintf(sizeRestore, sizeof sizeRestore, "%.*s%d;%d%c", static_cast<int>(TermSeq::ResizeBegin.size()),
                      TermSeq::ResizeBegin.data(), rows, columns, TermSeq::ResizeEnd);
    if (length > 0 && static_cast<size_t>(length) < sizeof sizeRestore) sizeRestoreLength = static_cast<size_t>(length);
}

}  // namespace

Result setupConsole(FitMode fit) {
    if (active) return Result::ok();
    if (!isatty(Output)) return Result::failed("", "standard output is not a terminal; run the demo in one");
    picture.emplace(colourModeFor(std::getenv("COLORTERM")), fit);
    measure();
    prepareSizeRestore();

    // The terminal keys are read from is the one to make unechoed and
    // non-canonical (normally the same one as the output). The descriptor
    // stays open: the signal path restores through it.
    termiosFd = keyTerminal();
    if (termiosFd >= 0 && tcgetattr(termiosFd, &savedTermios) != 0) {
        if (termiosFd != STDIN_FILENO) close(termiosFd);
        termiosFd = -1;
    }
    if (termiosFd >= 0) {
        demoTermios = savedTermios;
        demoTermios.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON));
        // Ctrl+S and Ctrl+Q are keys like any other, not flow control that
        // would freeze the picture.
        demoTermios.c_iflag &= static_cast<tcflag_t>(~IXON);
        demoTermios.c_cc[VMIN] = 1;
        demoTermios.c_cc[VTIME] = 0;
    }

    waitForForeground();
    SignalsHeld held;
    mainThread = pthread_self();
    forEachEndingSignal([](int sig) { install(sig, onEndingSignal, true); });
    for (int sig : FaultSignals) install(sig, onFaultSignal);
    for (int sig : FlagSignals) install(sig, onFlagSignal);
    install(SIGTSTP, onStopSignal);
    // Made with the signals held: no handler ever runs on its thread.
    const char* sentLog = std::getenv("HAZELGLOW_SENT_LOG");
    writer.emplace([](const char* bytes, size_t count) { return writeAll(bytes, count); }, MaxFrameBytes,
                   sentLog != nullptr && *sentLog != '\0' ? SentLogRecords : 0);
    active = 1;
    entered = 1;
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);
    writeAll(TermSeq::ConsoleEnter);
    setConsoleTitle(SetupTitle);
    writeAll(TermSeq::CursorHide);
    std::atexit(restoreConsole);
    return Result::ok();
}

void setConsoleTitle(const char* cp437Title) {
    SignalsHeld held;
    titleLength = buildTitleSequence(cp437Title, titleSequence);
    waitForWriter();
    if (entered) writeAll(titleSequence, titleLength);
}

void presentCells(const PKR_AsciiArt& converter) {
    if (!active || lost) return;
    ++frameNumber;
    presenting = 1;
    // The terminal has not taken the last frame yet: this one is skipped, and
    // the next one sent shows the newest cells against the last one sent.
    if (writer->busy()) return;
    if (!entered) waitForForeground();
    SignalsHeld held;
    if (!entered) enterTerminal();
    if (resumePending) {
        resumePending = 0;
        picture->frames().invalidate();
    }
    if (resizePending) {
        resizePending = 0;
        measure();
    }
    if (!picture->grid().exact && converter.glyphLut == nullptr) return;  // no pattern table yet
    writer->send({}, picture->build(converter.glyphLut, FrameBuffer, CellBuffer), frameNumber);
}

namespace {

void writeSentLog() {
    const char* path = std::getenv("HAZELGLOW_SENT_LOG");
    if (path == nullptr || *path == '\0' || !writer.has_value()) return;
    FILE* log = std::fopen(path, "w");
    if (log == nullptr) return;
    for (const FrameWriter::Written& w : writer->written())
        std::fprintf(log, "sent %u %u %llu %llu\n", w.frame, w.bytes, static_cast<unsigned long long>(w.handedNs),
                     static_cast<unsigned long long>(w.doneNs));
    std::fclose(log);
}

}  // namespace

// With the terminal not reading this waits, the sound and frames stopped,
// until it takes the rest of the frame in progress and the restore.
void restoreConsole() {
    if (!active) return;
    {
        SignalsHeld held;
        leaveTerminal(TCSADRAIN);
        active = 0;
        presenting = 0;
        uninstallAll();
        writeSentLog();
        writer.reset();
    }
    if (endingSignal != 0) dieOf(endingSignal);
}

bool consoleLost() {
    return lost != 0 || endingSignal != 0;
}
