// The frame loop both editions run. The terminal calls it in a loop of its
// own and blocks in the wait; the page calls it from its animation
// callbacks, where a frame that is not due yet ends the callback. Either
// way the same steps decide which frame comes, when, and what the sound
// says about it; the platform supplies only the wait and the present.
//
// Main thread only; the sound is asked through demo/soundtrack.h.
#pragma once

#include <cstdint>

#include "demo/frame_clock.h"

class FrameLoop {
public:
    struct Platform {
        // Waits for the tick count to pass `target` and sets how many
        // nanoseconds after that moment it returned. False: the platform
        // does not wait, and the tick has not passed.
        bool (*wait)(uint32_t target, uint64_t& late);
        // Puts frame t, just drawn, on screen (or leaves it, when later
        // frames are already due).
        void (*present)(int32_t t);
        // True when nobody is left to show frames to.
        bool (*lost)();
        // How many milliseconds before its moment a frame is drawn (a slow
        // terminal gets it early); null: on its moment.
        uint32_t (*lead)() = nullptr;
    };

    enum class Step : uint8_t {
        Ended,   // the soundtrack has ended, a key was read, or the screen is gone
        NotDue,  // the next frame's tick has not passed (a platform that does not wait)
        Drawn,   // one frame went through the pipeline and to the present
    };

    // Start-up's tick: frames run on it until the sound tells where its
    // first sample is heard, which it is waited for up to `soundWaitLimit`
    // nanoseconds. `tickShift` moves the tick the pipeline sees (the page's
    // ?start-tick); 0 elsewhere.
    void start(uint32_t tick, uint64_t soundWaitLimit, uint32_t tickShift = 0);
    // The last step of start-up, asked until true: true once the clock
    // follows the sound, or the sound cannot tell or has kept silent too long.
    bool soundStarted();
    // The loop body: the end checks, the key poll, the sound's drift, the
    // wait, then the frame through the pipeline and to the present.
    Step frame(const Platform& platform);

    const FrameClock& clock() const { return clock_; }
    // The moment (tickNanoseconds) of the frame last drawn: when its tick
    // passes, however early it was drawn.
    uint64_t frameDue() const { return frameDue_; }
    int32_t key() const { return key_; }

private:
    // Moves the clock when the sound has drifted away from it; with
    // `stopped`, waits (bounded, on a platform that waits) while the sound
    // cannot tell yet.
    void checkSound(const Platform& platform, bool stopped);

    FrameClock clock_;
    int32_t key_ = 0;  // last key read, 0: none
    uint32_t tickShift_ = 0;
    uint64_t soundWaitLimit_ = 0;
    uint64_t soundGiveUp_ = 0;
    uint64_t frameDue_ = 0;  // tickNanoseconds after which start-up stops waiting for the sound
    bool awaitingSound_ = false;
};
