#include "demo/frame_loop.h"

#include "demo/demo_objects.h"
#include "demo/frame_log.h"
#include "demo/keys.h"
#include "demo/pipeline.h"
#include "demo/soundtrack.h"
#include "demo/ticks.h"

namespace {

// A frame whose tick passed this long ago was held up by more than work: the
// process was stopped (Ctrl+Z) or the page hidden. A stopped process's sound
// stood still too; a hidden page's played on. Either way the sound says.
constexpr uint64_t StoppedLimit = 200000000u;  // ns

}  // namespace

void FrameLoop::start(uint32_t tick, uint64_t soundWaitLimit, uint32_t tickShift) {
    clock_.startOnTick(tick);
    key_ = 0;
    tickShift_ = tickShift;
    soundWaitLimit_ = soundWaitLimit;
    soundGiveUp_ = tickNanoseconds() + soundWaitLimit;
    awaitingSound_ = true;
}

bool FrameLoop::soundStarted() {
    if (!awaitingSound_) return true;
    uint64_t heardZero = 0;
    const SoundtrackHeard heard = soundtrackHeardZero(heardZero);
    if (heard == SoundtrackHeard::NotYet && tickNanoseconds() <= soundGiveUp_) return false;
    if (heard == SoundtrackHeard::Known) clock_.startFromSound(heardZero);
    awaitingSound_ = false;
    return true;
}

void FrameLoop::checkSound(const Platform& platform, bool stopped) {
    if (!clock_.followsSound()) return;
    const uint64_t giveUp = tickNanoseconds() + soundWaitLimit_;
    uint64_t heardZero = 0;
    for (;;) {
        const SoundtrackHeard heard = soundtrackHeardZero(heardZero);
        if (heard == SoundtrackHeard::Known) break;
        uint64_t late = 0;
        if (heard == SoundtrackHeard::Unknown || !stopped || tickNanoseconds() > giveUp ||
            !platform.wait(tickCount(), late))  // a millisecond
            return;
    }
    const int32_t before = clock_.shift();
    if (clock_.observeSound(heardZero, stopped)) logClockShift(clock_.shift() - before, clock_.shift());
}

FrameLoop::Step FrameLoop::frame(const Platform& platform) {
    if (!soundtrackVoiceAlive()) return Step::Ended;  // the soundtrack has played
    if (const int32_t pressed = pollKey(); pressed != 0) key_ = pressed;
    checkSound(platform, false);
    // The frame starts on its tick, or `lead` milliseconds before it. Every
    // frame is still drawn once, in order, with its own t.
    const uint32_t lead = platform.lead != nullptr ? platform.lead() : 0;
    uint64_t late = 0;
    if (!platform.wait(clock_.waitTarget() - lead, late)) return Step::NotDue;
    if (late > StoppedLimit && clock_.followsSound()) {
        checkSound(platform, true);
        if (!platform.wait(clock_.waitTarget() - lead, late)) return Step::NotDue;
    }
    const uint64_t start = tickNanoseconds();
    frameDue_ = tickPassMoment(clock_.waitTarget(), start);
    const int32_t t = clock_.advance();
    logFrame(t, start, late, lead);
    renderFrame(t, clock_.frameTarget() + tickShift_, asciiArt);
    platform.present(t);
    if (key_ != 0) return Step::Ended;
    if (platform.lost()) return Step::Ended;
    return Step::Drawn;
}
