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
// tcsetattr and then _exit or re-raise, all async-signal-safe, and on the
// main thread only (other threads pass the signal on). Other events
// (resize, resume) only set flags that the next frame reads.
#include "display/console.h"

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
#include "display/term_sequences.h"
#include "display/terminal_picture.h"
#include "effects/buffers.h"

namespace {

constexpr int TerminatingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int CrashSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE};
constexpr int FlagSignals[] = {SIGWINCH, SIGCONT};
constexpr int AllSignals[] = {SIGINT, SIGTERM, SIGHUP,   SIGQUIT, SIGSEGV, SIGABRT,
                              SIGBUS, SIGFPE,  SIGWINCH, SIGCONT, SIGTSTP};
constexpr int SignalCount = sizeof AllSignals / sizeof AllSignals[0];

constexpr int Output = STDOUT_FILENO;
int termiosFd = -1;  // the terminal whose settings were changed, -1: none
struct termios savedTermios;
struct termios demoTermios;

pthread_t mainThread;               // runs every frame and the restore
volatile sig_atomic_t active = 0;   // set up and not yet restored for good
volatile sig_atomic_t entered = 0;  // the terminal is in the demo's state now
volatile sig_atomic_t resizePending = 0;
volatile sig_atomic_t resumePending = 0;

struct sigaction previousActions[SignalCount];
bool installed[SignalCount] = {};

// The terminal's size before the demo asked for 80x50, asked back on the way
// out; formatted at set-up so the signal path only writes it.
char sizeRestore[32];
size_t sizeRestoreLength = 0;

std::optional<TerminalPicture> picture;
char titleSequence[MaxTitleSequenceBytes];
size_t titleLength = 0;

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
            return false;  // the terminal is gone; nobody is left to show it to
        }
    }
    return true;
}

bool writeAll(std::string_view bytes) {
    return writeAll(bytes.data(), bytes.size());
}

// Async-signal-safe: puts the terminal back as it was before set-up.
void leaveTerminal(int when) {
    if (!entered) return;
    entered = 0;
    writeAll(sizeRestore, sizeRestoreLength);
    writeAll(TermSeq::ConsoleRestore);
    if (termiosFd >= 0) tcsetattr(termiosFd, when, &savedTermios);
}

// Takes the terminal again after a stop: settings, screen, title, window.
void enterTerminal() {
    entered = 1;
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);
    writeAll(TermSeq::ConsoleEnter);
    writeAll(titleSequence, titleLength);
    writeAll(TermSeq::CursorHide);
}

int signalSlot(int sig) {
    for (int i = 0; i < SignalCount; ++i)
        if (AllSignals[i] == sig) return i;
    return -1;
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

void onTerminatingSignal(int sig) {
    if (passedToMainThread(sig)) return;
    leaveTerminal(TCSANOW);
    _exit(128 + sig);
}

void onCrashSignal(int sig) {
    leaveTerminal(TCSANOW);
    // Hand the signal to whoever had it before (the default action: a core
    // dump, or a sanitizer's report); it fires again when we return.
    const int slot = signalSlot(sig);
    if (slot >= 0) sigaction(sig, &previousActions[slot], nullptr);
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
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP);  // stopped here until SIGCONT
    sigaction(SIGTSTP, &ours, nullptr);
    resumePending = 1;
    errno = savedErrno;
}

void install(int sig, void (*handler)(int)) {
    const int slot = signalSlot(sig);
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // A signal that arrives while another handler restores waits for it.
    for (int other : TerminatingSignals) sigaddset(&action.sa_mask, other);
    sigaddset(&action.sa_mask, SIGTSTP);
    action.sa_flags = SA_RESTART;
    if (sigaction(sig, nullptr, &previousActions[slot]) != 0) return;
    // A signal the caller chose to ignore (nohup, background jobs) stays ignored.
    if (previousActions[slot].sa_handler == SIG_IGN) return;
    if (sigaction(sig, &action, nullptr) == 0) installed[slot] = true;
}

void uninstallAll() {
    for (int i = 0; i < SignalCount; ++i) {
        if (!installed[i]) continue;
        sigaction(AllSignals[i], &previousActions[i], nullptr);
        installed[i] = false;
    }
}

// Signals that would cut a frame or the restore in half wait until it is done.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : TerminatingSignals) sigaddset(&held, sig);
        for (int sig : FlagSignals) sigaddset(&held, sig);
        sigaddset(&held, SIGTSTP);
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

void setupConsole(FitMode fit) {
    if (active) return;
    if (!isatty(Output)) {
        std::fputs("hazelglow: standard output is not a terminal; run the demo in one\n", stderr);
        std::exit(2);
    }
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

    SignalsHeld held;
    mainThread = pthread_self();
    for (int sig : TerminatingSignals) install(sig, onTerminatingSignal);
    for (int sig : CrashSignals) install(sig, onCrashSignal);
    for (int sig : FlagSignals) install(sig, onFlagSignal);
    install(SIGTSTP, onStopSignal);
    active = 1;
    entered = 1;
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);
    writeAll(TermSeq::ConsoleEnter);
    setConsoleTitle("Pelkor7 console window - press alt-enter for fullscreen");
    writeAll(TermSeq::CursorHide);
    std::atexit(restoreConsole);
}

void setConsoleTitle(const char* cp437Title) {
    SignalsHeld held;
    titleLength = buildTitleSequence(cp437Title, titleSequence);
    if (entered) writeAll(titleSequence, titleLength);
}

void presentCells(const PKR_AsciiArt& converter) {
    if (!active) return;
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
    writeAll(picture->build(converter.glyphLut, FrameBuffer, CellBuffer));
}

void restoreConsole() {
    if (!active) return;
    SignalsHeld held;
    leaveTerminal(TCSADRAIN);
    active = 0;
    uninstallAll();
}
