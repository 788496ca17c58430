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
// waits on it. Each frame ends with a status query; the terminal's answers
// (display/frame_answers.h) say when it has shown a frame, how fast the
// link is and so whether the next one can still arrive by its moment; the
// link is measured once at set-up too, so that the first frames are judged
// as well. On a slow link frames are drawn ahead (consoleLead) and held by
// the writer until the time that brings their last byte to the screen on
// their moment.
// While the terminal is the demo's, its input is read here: answers, and
// the keys with them (watchConsole, and pollKey through consoleReadsKeys).
// Every restore waits for the frame in progress to be written (the terminal
// gets no half frame and nothing after the restore). An ending signal while
// frames run only ends the frame loop, so the sound stops at once even when
// the terminal has stopped reading; restoreConsole then gives the terminal
// back once it takes bytes again and dies of the signal.
//
// HAZELGLOW_SENT_LOG names a file that gets, at the end, one line per frame
// sent: "sent <frame> <bytes> <handed ns> <written ns>" (frame: the count of
// presentCells calls; times on CLOCK_MONOTONIC).
//
// A terminal that reports no pixel size is asked for its cell size once, at
// set-up (display/terminal_replies.h); keys typed while it answers are kept
// for the key poll (display/console_posix.h).
#include "display/console_posix.h"
#include "display/console.h"
#include "display/ending_signals_posix.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "display/ascii_art.h"
#include "display/frame_answers.h"
#include "display/frame_writer.h"
#include "display/term_sequences.h"
#include "display/terminal_picture.h"
#include "display/terminal_replies.h"
#include "display/titles.h"
#include "effects/buffers.h"

namespace {

// Every signal whose default action ends the process gives the terminal
// back first (display/ending_signals_posix.h). These then die of the signal
// itself, so the caller sees how the demo ended: a shell's loop stops on
// Ctrl+C and still reads 128 + n as the status.
// Faults: the terminal is given back, then the signal goes to whoever had it
// before (the default action: a core dump, or a sanitizer's report).
constexpr int FaultSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ};
constexpr int FlagSignals[] = {SIGWINCH, SIGCONT};
// Ctrl+Z, and the job-control stops when someone sends them: the terminal
// is given back first, then the demo stops.
constexpr int StopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

template <typename Visit>
void forEachEndingSignal(Visit visit) {
    endingsignals::forEach(visit);
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
    for (int sig : StopSignals) sigaddset(&held, sig);
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

// The request to grow a small window (in pixels, to the picture's shape),
// and the terminal's size before it in cells, asked back on the way out:
// both or neither, formatted at set-up so the signal path only writes them.
char sizeRequest[32];
size_t sizeRequestLength = 0;
char sizeRestore[32];
size_t sizeRestoreLength = 0;

// The cells' shape as the terminal answered at set-up, when it reports no
// pixel size; width 0: not answered.
CellShape answeredShape{0, 0};
// A key typed while the terminal answered, for the key poll; 0: none.
volatile sig_atomic_t typedKey = 0;

std::optional<TerminalPicture> picture;
char titleSequence[MaxTitleSequenceBytes];
size_t titleLength = 0;

std::optional<FrameWriter> writer;
uint32_t frameNumber = 0;  // presentCells calls so far
constexpr size_t SentLogRecords = 1 << 14;

// The answers to the status query that ends every frame. Asked only when
// the key terminal is the output's, where the answers arrive.
FrameAnswers answers;
bool answersReadable = false;
bool inputGone = false;                // the key terminal's input has ended (hung up)
volatile sig_atomic_t queriesOut = 0;  // status queries not answered yet, for the way out
volatile sig_atomic_t everAnswered = 0;
// Input cut short (an escape sequence), completed by the next read, and
// when it came: a lone Esc is a key once nothing has followed for a while.
char inputKept[32];
size_t inputKeptLength = 0;
uint64_t inputKeptNs = 0;
// The last moment the input was known to hold nothing unread: an answer
// read later arrived after it (busy drawing, the demo reads it late).
uint64_t inputQuietNs = 0;
constexpr uint64_t LoneEscape = 50000000u;  // ns
// Answers still out when the terminal is given back are read for at most
// this long, so that none is echoed into the shell.
constexpr int DrainLimitMs = 500;
// A frame may still be shown this long after its moment. Kept short: a
// frame let through late by it is later still when the link or the machine
// holds it up a moment more.
constexpr uint64_t LateAllowance = 10000000u;  // ns
// On a link that takes this frame and the typical one in a moment, a frame
// may come later than that: drawn late (the machine held the demo up), it
// is still the newest picture, and the frames after it lose nothing by it.
// Not on a slow link, where a small frame late by this much comes later
// still when the machine holds it up again.
constexpr uint64_t QuickCrossing = 10000000u;       // ns
constexpr uint64_t QuickLateAllowance = 30000000u;  // ns
// Drawing ahead: the largest recent frame's crossing plus a margin, at
// most MaxLeadMs, none below NoLeadBelow, moving LeadStepMs per frame.
constexpr uint32_t MaxLeadMs = 300;
constexpr uint32_t LeadMarginMs = 10;
constexpr uint32_t LeadStepMs = 10;
constexpr uint64_t NoLeadBelow = 5000000u;  // ns
uint32_t leadMs = 0;

// Everything written on the main thread (titles, restores) waits for the
// frame in progress: bytes never interleave, and none follow a restore.
// Async-signal-safe.
void waitForWriter() {
    if (writer.has_value()) writer->waitUntilIdle();
}

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
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

// Reads the key terminal's answers into `replies` until `done(replies)`
// holds, `waitMs` have passed or nothing more comes; an answer cut short
// is completed by the next read. Returns how many bytes at the end of
// `buffer` were left unread as cut short (all of it when full: typed, as
// no answer is that long). Async-signal-safe.
template <size_t Size, typename Done>
size_t readAnswers(char (&buffer)[Size], int64_t waitMs, TerminalReplies& replies, Done done) {
    const int64_t giveUp = monotonicMs() + waitMs;
    size_t kept = 0;
    while (!done(replies)) {
        const int64_t left = giveUp - monotonicMs();
        if (left <= 0) break;
        pollfd input{termiosFd, POLLIN, 0};
        const int ready = poll(&input, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (input.revents & POLLIN) == 0) break;
        const ssize_t n = read(termiosFd, buffer + kept, Size - kept);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        kept += static_cast<size_t>(n);
        const size_t tail = readReplies({buffer, kept}, replies);
        std::memmove(buffer, buffer + kept - tail, tail);
        kept = tail;
        if (kept == Size) break;
    }
    return kept;
}

// Reads the answers still out, for at most DrainLimitMs: once the
// terminal echoes again they would land in the shell's line. Keys typed
// meanwhile go with them. Async-signal-safe.
void drainAnswers() {
    if (!answersReadable || inputGone || !everAnswered || queriesOut <= 0) return;
    const int out = queriesOut;
    char bytes[256];
    TerminalReplies replies;
    readAnswers(bytes, DrainLimitMs, replies, [out](const TerminalReplies& r) { return r.statusAnswers >= out; });
    queriesOut = 0;
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
    drainAnswers();
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
    // Whatever it answers of the frames before the stop is no guide now.
    answers.forgetUnanswered();
    queriesOut = 0;
    inputKeptLength = 0;
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);
    writeAll(TermSeq::ConsoleEnter);
    writeAll(sizeRequest, sizeRequestLength);
    writeAll(titleSequence, titleLength);
    writeAll(TermSeq::CursorHide);
}

// Continued after a stop the demo did not see (SIGSTOP): whoever had the
// terminal meanwhile (the shell, in its line mode with echo) may have
// changed it, so the settings and modes are applied again. The screen
// stays the alternate one (entering it again would save the cursor a
// second time, hidden), and the title stack still holds the title from
// before the demo: nothing is pushed again.
void reapplyTerminal() {
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);
    writeAll(TermSeq::WrapOff);
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

// Ctrl+Z, or SIGTTIN / SIGTTOU sent by someone: give the terminal back,
// stop, and take it again (at the next frame) once continued. The kernel's
// own SIGTTIN and SIGTTOU stop a background job that touched the terminal:
// it is not the demo's then, so nothing is written to it.
void onStopSignal(int sig, siginfo_t* info, void*) {
    const int savedErrno = errno;
    if (passedToMainThread(sig)) {
        errno = savedErrno;
        return;
    }
    const bool jobControl = sig != SIGTSTP && info != nullptr && info->si_code == SI_KERNEL;
    if (!jobControl) leaveTerminal(TCSANOW);
    struct sigaction ours {};
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(sig, &byDefault, &ours);
    unblock(sig);
    raise(sig);  // stopped here until SIGCONT
    sigaction(sig, &ours, nullptr);
    resumePending = 1;
    errno = savedErrno;
}

// `onlyIfDefault`: left alone when someone already handles it (a profiler's
// SIGPROF, say), since then it does not end the process anyway.
void install(int sig, void (*handler)(int), bool onlyIfDefault = false,
             void (*infoHandler)(int, siginfo_t*, void*) = nullptr) {
    if (sig <= 0 || sig >= NSIG) return;
    struct sigaction action {};
    if (infoHandler != nullptr)
        action.sa_sigaction = infoHandler;
    else
        action.sa_handler = handler;
    // A signal that arrives while another handler restores waits for it.
    action.sa_mask = heldSignals();
    sigdelset(&action.sa_mask, SIGWINCH);
    sigdelset(&action.sa_mask, SIGCONT);
    action.sa_flags = SA_RESTART | (infoHandler != nullptr ? SA_SIGINFO : 0);
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
    CellShape shape = cellShapeFor(columns, rows, xPixels, yPixels);
    if ((xPixels <= 0 || yPixels <= 0) && answeredShape.width > 0) shape = answeredShape;
    picture->setTerminal(columns, rows, shape);
}

// True when both descriptors are the same terminal: the answers to what is
// written to one arrive on the other.
bool sameTerminal(int a, int b) {
    struct stat first {};
    struct stat second {};
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && S_ISCHR(first.st_mode) && first.st_rdev == second.st_rdev;
}

// How long set-up waits at most for a terminal's answers: most answer in a
// millisecond or two, and the last question is one every terminal answers,
// so only one that answers nothing (or a very slow line) waits this long.
constexpr int64_t AnswerWaitMs = 100;

// A key typed while set-up waited for answers, for the key poll: one read
// among them, or what was left unread (`kept` bytes of `pending`). The
// first one typed is kept.
void keepTypedKey(TerminalReplies& replies, const char* pending, size_t kept) {
    if (kept > 0 && replies.key == 0) replies.key = keyCode({pending, kept});
    if (replies.key != 0 && typedKey == 0) typedKey = replies.key;
}

// Asks a terminal that reports no pixel size for its cell size, and returns
// its text area in pixels (0 x 0 when it does not say). Reads only its
// input, in non-canonical mode by now; a key typed meanwhile is kept.
void askCellSize(int columns, int rows, int& xPixels, int& yPixels) {
    xPixels = yPixels = 0;
    if (termiosFd < 0 || !sameTerminal(termiosFd, Output)) return;
    if (!writeAll(CellSizeQuery)) return;
    TerminalReplies replies;
    char pending[256];
    const size_t kept =
        readAnswers(pending, AnswerWaitMs, replies, [](const TerminalReplies& r) { return r.attributes; });
    keepTypedKey(replies, pending, kept);
    if (replies.cellWidth > 0 && replies.cellHeight > 0) {
        xPixels = replies.cellWidth * columns;
        yPixels = replies.cellHeight * rows;
    } else if (replies.areaWidth > 0 && replies.areaHeight > 0) {
        xPixels = replies.areaWidth;
        yPixels = replies.areaHeight;
    }
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

// CSI `begin` first;second t into `out`; its length, 0 if it did not fit.
size_t formatResize(char (&out)[32], std::string_view begin, int first, int second) {
    const int length = std::snprintf(out, sizeof out, "%.*s%d;%d%c", static_cast<int>(begin.size()), begin.data(),
                                     first, second, TermSeq::ResizeEnd);
    return length > 0 && static_cast<size_t>(length) < sizeof out ? static_cast<size_t>(length) : 0;
}

// A window smaller than the console's 640x600 pixels is asked to grow to
// the picture's shape (never to shrink), and given its size in cells back
// at the end. Nothing is asked of a terminal whose size in cells or pixels
// is not known, so whatever is asked is always undone.
void prepareSizeRequest(int columns, int rows, int xPixels, int yPixels) {
    sizeRequestLength = sizeRestoreLength = 0;
    int width = 0, height = 0;
    if (columns <= 0 || rows <= 0 || !growRequestFor(xPixels, yPixels, width, height)) return;
    sizeRequestLength = formatResize(sizeRequest, TermSeq::ResizePixelsBegin, height, width);
    sizeRestoreLength = formatResize(sizeRestore, TermSeq::ResizeBegin, rows, columns);
    if (sizeRequestLength == 0 || sizeRestoreLength == 0) sizeRequestLength = sizeRestoreLength = 0;
}

bool readsInput() {
    return active && entered && answersReadable && !inputGone;
}

// A frame (or the set-up's bytes) of `bytes`, ending with the status query,
// started on the link at `atNs`.
void querySent(uint32_t bytes, uint64_t atNs) {
    queriesOut = queriesOut + 1;
    answers.sent(bytes, atNs);
}

// `count` answers to status queries, read at `nowNs` (arrived after
// `sinceNs`; 0: the same).
void answersCame(int count, uint64_t nowNs, uint64_t sinceNs = 0) {
    everAnswered = 1;
    queriesOut = queriesOut > count ? queriesOut - count : 0;
    answers.answered(static_cast<uint32_t>(count), nowNs, sinceNs);
}

// What the terminal sent: answers go to `answers`, the first other key is
// kept for the key poll, and an escape sequence cut short waits for the
// rest (or for LoneEscape, after which it is a key: Esc).
void takeInput(const char* bytes, size_t count, uint64_t nowNs, uint64_t sinceNs) {
    char joined[sizeof inputKept + 256];
    std::memcpy(joined, inputKept, inputKeptLength);
    std::memcpy(joined + inputKeptLength, bytes, count);
    const size_t length = inputKeptLength + count;
    TerminalReplies replies;
    const size_t tail = readReplies({joined, length}, replies);
    if (replies.statusAnswers > 0) answersCame(replies.statusAnswers, nowNs, sinceNs);
    if (replies.key != 0 && typedKey == 0) typedKey = replies.key;
    inputKeptLength = 0;
    if (tail >= sizeof inputKept) {  // no answer is that long: typed
        if (typedKey == 0) typedKey = keyCode({joined + length - tail, tail});
    } else if (tail > 0) {
        std::memcpy(inputKept, joined + length - tail, tail);
        inputKeptLength = tail;
        inputKeptNs = nowNs;
    }
}

// Reads what is waiting on the key terminal, without blocking.
void readInput() {
    for (;;) {
        pollfd input{termiosFd, POLLIN, 0};
        const int ready = poll(&input, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if ((input.revents & POLLIN) == 0) {
            inputGone = (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            break;
        }
        char bytes[256];
        const ssize_t n = read(termiosFd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {  // hung up: nothing will come again
            inputGone = true;
            break;
        }
        takeInput(bytes, static_cast<size_t>(n), monotonicNanoseconds(), inputQuietNs);
    }
    inputQuietNs = monotonicNanoseconds();
    if (inputKeptLength > 0 && monotonicNanoseconds() >= inputKeptNs + LoneEscape) {
        if (typedKey == 0) typedKey = keyCode({inputKept, inputKeptLength});
        inputKeptLength = 0;
    }
}

// The lead the newest figures call for.
uint32_t leadTarget() {
    if (!answers.answering() || !answers.rateKnown()) return 0;
    const uint64_t crossing = answers.crossingNanoseconds(answers.largestRecentBytes());
    if (crossing < NoLeadBelow) return 0;
    return std::min<uint32_t>(MaxLeadMs, static_cast<uint32_t>(crossing / 1000000u) + LeadMarginMs);
}

// The lead, a step (per frame) nearer to what the newest figures call for.
void updateLead() {
    const uint32_t target = leadTarget();
    if (target > leadMs)
        leadMs = std::min(target, leadMs + LeadStepMs);
    else
        leadMs = leadMs > target + LeadStepMs ? leadMs - LeadStepMs : target;
}

// Sends `bytes`, already written but for the status query that ends them,
// and waits up to `waitMs` for its answer. True when it came; one that
// comes later is read with the frames' answers.
bool queryAndAwait(size_t bytes, int64_t waitMs) {
    const uint64_t start = monotonicNanoseconds();
    if (!writeAll(TermSeq::StatusQuery)) return false;
    querySent(static_cast<uint32_t>(bytes + TermSeq::StatusQuery.size()), start);
    TerminalReplies replies;
    char pending[256];
    const size_t kept =
        readAnswers(pending, waitMs, replies, [](const TerminalReplies& r) { return r.statusAnswers > 0; });
    const uint64_t now = monotonicNanoseconds();
    inputQuietNs = now;
    keepTypedKey(replies, pending, kept);
    if (replies.statusAnswers == 0) return false;
    answersCame(1, now);
    return true;
}

// Before the first frame the link is measured, so that frames are judged
// and drawn ahead from the first on: the delay of the set-up bytes (a few)
// and of a screen of blanks (as many as a first frame), each ended by the
// status query. Two delays that far apart in size give the rate; the frames'
// own answers refine it. On a fast terminal this takes a millisecond or
// two; a terminal that does not answer the first is not asked again.
constexpr int64_t BlankScreenWaitMs = 400;
constexpr size_t MaxBlankScreenBytes = 16384;

void measureLink(size_t setupBytes, int columns, int rows) {
    if (!queryAndAwait(setupBytes, AnswerWaitMs) || columns <= 0 || rows <= 0) return;
    std::string blank;
    for (int row = 1; row <= rows && blank.size() < MaxBlankScreenBytes; ++row) {
        blank.append(TermSeq::Csi).append(std::to_string(row));
        blank.append({TermSeq::ParamSeparator, '1', TermSeq::CursorPositionFinal});
        blank.append(static_cast<size_t>(columns), ' ');
    }
    if (!writeAll(blank)) return;
    queryAndAwait(blank.size(), BlankScreenWaitMs);
    leadMs = leadTarget();
}

}  // namespace

Result setupConsole(FitMode fit) {
    if (active) return Result::ok();
    if (!isatty(Output)) return Result::failed("", "standard output is not a terminal; run the demo in one");
    picture.emplace(colourModeFor(std::getenv("COLORTERM")), fit);
    picture->frames().keepTakeBack();

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
    for (int sig : StopSignals) install(sig, nullptr, false, onStopSignal);
    // Made with the signals held: no handler ever runs on its thread.
    const char* sentLog = std::getenv("HAZELGLOW_SENT_LOG");
    writer.emplace([](const char* bytes, size_t count) { return writeAll(bytes, count); }, MaxFrameBytes,
                   sentLog != nullptr && *sentLog != '\0' ? SentLogRecords : 0);
    active = 1;
    entered = 1;
    if (termiosFd >= 0) tcsetattr(termiosFd, TCSADRAIN, &demoTermios);

    int columns = 0, rows = 0, xPixels = 0, yPixels = 0;
    if (!terminalSize(columns, rows, &xPixels, &yPixels)) columns = rows = 0;
    if (xPixels <= 0 || yPixels <= 0) {
        askCellSize(columns, rows, xPixels, yPixels);
        if (xPixels > 0 && columns > 0) answeredShape = cellShapeFor(columns, rows, xPixels, yPixels);
    }
    measure();
    prepareSizeRequest(columns, rows, xPixels, yPixels);

    writeAll(TermSeq::ConsoleEnter);
    writeAll(sizeRequest, sizeRequestLength);
    setConsoleTitle(SetupTitle);
    writeAll(TermSeq::CursorHide);
    // Asked once here too: a terminal that never answers is judged by the
    // writes alone from the start, as the answers only count once one came.
    answersReadable = termiosFd >= 0 && sameTerminal(termiosFd, Output);
    if (answersReadable)
        measureLink(TermSeq::ConsoleEnter.size() + sizeRequestLength + titleLength + TermSeq::CursorHide.size(),
                    columns, rows);
    std::atexit(restoreConsole);
    return Result::ok();
}

void setConsoleTitle(const char* cp437Title) {
    SignalsHeld held;
    titleLength = buildTitleSequence(cp437Title, titleSequence);
    waitForWriter();
    if (entered) writeAll(titleSequence, titleLength);
}

void presentCells(const PKR_AsciiArt& converter, uint64_t dueNs) {
    if (!active || lost) return;
    ++frameNumber;
    presenting = 1;
    // The terminal has not taken the last frame yet, or this one could not
    // be on screen by its moment: it is skipped, and the next one sent shows
    // the newest cells against the last one sent.
    if (writer->busy()) return;
    const bool judged = readsInput() && !resumePending;
    if (judged) {
        readInput();
        // Every frame drawn, sent or not: a lead held back by frames that
        // were skipped for want of it would never grow.
        updateLead();
        if (!answers.mayShow(monotonicNanoseconds(), UINT64_MAX)) return;  // too many on their way
    }
    if (!entered || resumePending) waitForForeground();
    SignalsHeld held;
    if (!entered)
        enterTerminal();
    else if (resumePending)
        reapplyTerminal();
    if (resumePending) {
        resumePending = 0;
        picture->frames().invalidate();
    }
    if (resizePending) {
        resizePending = 0;
        measure();
    }
    if (!picture->grid().exact && converter.glyphLut == nullptr) return;  // no pattern table yet
    const std::string_view frame = picture->build(converter.glyphLut, FrameBuffer, CellBuffer);
    const std::string_view query = answersReadable ? TermSeq::StatusQuery : std::string_view{};
    const auto bytes = static_cast<uint32_t>(frame.size() + query.size());
    // Whether it can still be on screen by its moment, judged by its own
    // size; if not it is taken back, and the next one is built against the
    // frame the terminal has.
    const uint64_t now = monotonicNanoseconds();
    if (judged && dueNs != 0) {
        const bool quick = answers.quickOnIdleLink(now, bytes, QuickCrossing);
        if (!answers.mayShow(now, dueNs + (quick ? QuickLateAllowance : LateAllowance), bytes)) {
            picture->frames().takeBack();
            answers.heldBack(bytes);
            return;
        }
    }
    // Held until its last byte reaches the screen on its moment, and never
    // before the link has carried what went before.
    uint64_t at = now;
    if (answers.answering() && answers.rateKnown()) {
        const uint64_t crossing = answers.likelyCrossingNanoseconds(bytes);
        at = std::max(now, answers.linkFreeAt());
        if (dueNs > crossing) at = std::max(at, dueNs - crossing);
    }
    writer->send(frame, query, frameNumber, at);
    if (answersReadable) querySent(bytes, at);
}

void watchConsole(uint64_t untilNs) {
    if (!readsInput()) return;
    for (;;) {
        readInput();
        const uint64_t now = monotonicNanoseconds();
        if (now >= untilNs || endingSignal != 0 || lost || !readsInput()) return;
        uint64_t until = untilNs;
        if (inputKeptLength > 0) until = std::min(until, inputKeptNs + LoneEscape);
        const uint64_t wait = until > now ? until - now : 0;
        const timespec timeout{static_cast<time_t>(wait / 1000000000u), static_cast<long>(wait % 1000000000u)};
        pollfd input{termiosFd, POLLIN, 0};
        const int ready = ppoll(&input, 1, &timeout, nullptr);
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0) inputQuietNs = monotonicNanoseconds();  // woken as it arrived
    }
}

uint32_t consoleLead() {
    return active ? leadMs : 0;
}

bool consoleReadsKeys() {
    return readsInput();
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

int32_t takeTypedKey() {
    if (readsInput()) readInput();
    const int32_t key = typedKey;
    typedKey = 0;
    return key;
}
