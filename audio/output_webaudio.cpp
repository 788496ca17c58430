// The browser's sound output: Web Audio through an AudioWorklet, fed from the
// page's own thread.
//
// The worklet (web/sound_feed.js, loaded by the page into its audio
// context) plays the blocks the page posts to it and reports which of them
// plays when. Each report tops its queue up to QueuedBlocks blocks: the page
// pulls renderBlock, converts the mix to 16-bit as a sound device receives
// it (toPcm16) and posts the block. Nothing is pulled before the worklet's
// first report, so the soundtrack starts with the sound itself, from its
// first sample; a page thread that stalls for less than the queue is not
// heard at all. Messages only, no SharedArrayBuffer: the page needs no
// cross-origin isolation, and no engine lock: the reports and every other
// engine call run on the page's one thread, one after the other.
//
// Where the page plays is the worklet's report mapped through the context's
// output timestamp (getOutputTimestamp) or through currentTime less the
// baseLatency and outputLatency it reports, whichever is the earlier (where
// it reports none, none is assumed).
//
// No sound, no stop: when the page has no audio context, no worklet, or the
// context has not begun to play a second after the output opened (no
// device, sound blocked), the output pulls the blocks at a device's pace
// from the page's thread and drops them, as the silent output does, and
// tells the page why (Module.soundMissing); the output then counts as given
// up, so that the engine's outputReport says so, as it does for a device
// that fails. A quantum the worklet ran short after the start counts as an
// underrun. Module.audioFeed counts what was fed, for the page's tests.
//
// The end: the mixer drops the soundtrack's voice once it has mixed its last
// frame, some blocks before that frame is heard. feed.finish(last) stops the
// pulls and has the worklet play what it holds and report where its last
// frame plays; feed.heard() reaches `last` when the soundtrack's last sample
// is heard, and the page ends its run then, not before.
#include <algorithm>
#include <emscripten/emscripten.h>
#include <memory>
#include <string>

#include "audio/output.h"

namespace {

struct WebAudioOutput : Aurix::BoundOutput {
    using BoundOutput::BoundOutput;
    uint32_t blockFrames = 0;
    uint64_t framesGiven = 0;
    std::unique_ptr<float[]> mixBuffer;
    std::unique_ptr<int16_t[]> samples;
};

// The open output, found by the page's pulls; null while none is open.
WebAudioOutput* liveOutput = nullptr;

constexpr int QueuedBlocks = 4;        // 372 ms ahead of what is heard
constexpr int SoundStartLimit = 1000;  // ms for the context to begin playing

constexpr int ReasonBytes = 256;  // why the page plays silently, in UTF-8
char silentReason[ReasonBytes];

EM_JS(void, connectFeed, (int rate, int blockFrames, int queuedBlocks, int startLimit, int reasonBytes), {
    var context = Module["audioContext"];
    var feed = {
        blocks : 0,
        audibleBlocks : 0,
        firstBlock : null,
        given : 0,
        gaps : 0,
        output : "worklet",
        silentReason : null,
        silentSince : null,
        last : null,
        reports : [],
        node : null,
        timers : []
    };
    Module["audioFeed"] = feed;
    function pull() {
        var pointer = _aurixWebAudioPull();
        if (!pointer) return null;
        var block = HEAP16.subarray(pointer >> 1, (pointer >> 1) + 2 * blockFrames);
        var audible = false;
        for (var i = 0; i < block.length; i++)
            if (block[i] != 0) {
                audible = true;
                break;
            }
        if (feed.blocks == 0) feed.firstBlock = Int16Array.from(block);
        feed.blocks++;
        if (audible) feed.audibleBlocks++;
        feed.given += blockFrames;
        return block;
    }
    function stopNode() {
        if (!feed.node) return;
        feed.node.port.onmessage = null;
        feed.node.port.postMessage("stop");
        feed.node.disconnect();
        feed.node = null;
    }
    // Two blocks in flight, then one block each block time: a device's pace.
    function paceSilently() {
        var due = (performance.now() - feed.silentSince) * rate / 1000 + 2 * blockFrames;
        while (feed.given < due && pull()) {}
    }
    function playSilently(reason) {
        if (feed.silentSince != null) return;
        stopNode();
        feed.output = "silent";
        feed.silentReason = reason;
        feed.silentSince = performance.now();
        var text = new TextEncoder().encode(reason);
        var into = _aurixWebAudioReason();
        var length = Math.min(text.length, reasonBytes - 1);
        HEAPU8.set(text.subarray(0, length), into);
        HEAPU8[into + length] = 0;
        _aurixWebAudioGaveUp();
        paceSilently();
        feed.timers.push(setInterval(paceSilently, 20));
        if (Module["soundMissing"]) Module["soundMissing"](reason);
    }
    // The context frame heard now: the output timestamp's, but never later
    // than the latency the context reports allows. Firefox's timestamp is
    // the context's current time, the latency left out (33 ms early against
    // a sound server's recording); Chromium's has it, within a few ms.
    function heardContextFrame() {
        var latest = context.currentTime - (context.baseLatency || 0) - (context.outputLatency || 0);
        var stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
        if (stamp && stamp.performanceTime > 0)
            return Math.min(stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000, latest) * rate;
        return latest * rate;
    }
    // The page's frames heard so far (negative: its first frame is due in
    // that many), or null while nothing plays.
    feed.heard = function() {
        if (feed.silentSince != null) return Math.min(feed.given, (performance.now() - feed.silentSince) * rate / 1000);
        var reports = feed.reports;
        if (reports.length == 0) return null;
        var at = heardContextFrame();
        // The last report at or before the frame heard; those before it are done with.
        var i = reports.length - 1;
        while (i > 0 && reports[i].frame > at) i--;
        if (i > 0) reports.splice(0, i);
        var report = reports[0];
        var into = at - report.frame;
        if (into > 0 && !report.whole) into = Math.min(into, report.count);
        return Math.min(feed.given, report.played + into);
    };
    feed.finish = function(last) {
        feed.last = Math.min(last, feed.given);
        if (feed.node) feed.node.port.postMessage("finish");
    };
    feed.close = function() {
        feed.timers.forEach(function(timer) { clearInterval(timer); });
        feed.timers = [];
        stopNode();
    };
    if (!context) return playSilently("this browser has no Web Audio");
    if (context.sampleRate != rate) return playSilently("the audio context does not run at " + rate + " Hz");
    if (!Module["soundFeedReady"])
        return playSilently(Module["soundFeedProblem"] || "this browser has no AudioWorklet");
    var node;
    try {
        node = new AudioWorkletNode(context, "hazelglow-feed",
                                    {numberOfInputs : 0, numberOfOutputs : 1, outputChannelCount : [2]});
    } catch (error) {
        return playSilently("the sound worklet would not start: " + error.message);
    }
    node.port.onmessage = function(event) {
        var report = event.data;
        feed.reports.push(report);
        if (report.last) return;
        // A quantum that ran short after the sound began: a gap heard.
        if (!report.whole && report.played > 0) {
            feed.gaps++;
            _aurixWebAudioUnderrun();
        }
        while (feed.last == null && feed.given - report.played < queuedBlocks * blockFrames) {
            var block = pull();
            if (!block) return;
            var floats = new Float32Array(block.length);
            for (var i = 0; i < block.length; i++) floats[i] = block[i] / 32768;
            node.port.postMessage(floats, [floats.buffer]);
        }
    };
    node.connect(context.destination);
    feed.node = node;
    feed.timers.push(setTimeout(
        function() {
            if (feed.reports.length > 0) return;
            playSilently(context.state == "running" ? "the audio context runs but plays nothing"
                                                    : "the browser kept the audio context " + context.state +
                                                          " (no sound device, or sound not allowed)");
        },
        startLimit));
});

EM_JS(void, disconnectFeed, (), {
    var feed = Module["audioFeed"];
    if (feed) feed.close();
});

EM_JS(double, heardFrames, (), {
    var feed = Module["audioFeed"];
    var heard = feed ? feed.heard() : null;
    return heard == null ? -1 : heard;
});

// Frame 0 of the output once heard: the position is known from then on.
bool webAudioPosition(Aurix::BoundOutput& bound, Aurix::OutputPosition& position) {
    const auto& output = static_cast<const WebAudioOutput&>(bound);
    const double heard = heardFrames();
    if (!(heard > 0)) return false;
    position.framesGiven = output.framesGiven;
    position.framesHeld = output.framesGiven - std::min(output.framesGiven, static_cast<uint64_t>(heard));
    return true;
}

void release(Aurix::BoundOutput& bound) {
    auto* output = static_cast<WebAudioOutput*>(&bound);
    disconnectFeed();
    if (liveOutput == output) liveOutput = nullptr;
    Aurix::unbindOutput(*output);
    delete output;
}

constexpr Aurix::OutputBackend WebAudio{"WebAudio", "Web Audio", false, release, webAudioPosition};

}  // namespace

// The page's pull of the next block: interleaved 16-bit stereo, or null
// when no output is open.
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* aurixWebAudioPull() {
    WebAudioOutput* output = liveOutput;
    if (output == nullptr) return nullptr;
    const uint32_t count = 2 * output->blockFrames;
    output->engine.renderBlock(output->mixBuffer.get(), output->blockFrames);
    for (uint32_t i = 0; i < count; ++i) output->samples[i] = Aurix::toPcm16(output->mixBuffer[i]);
    output->framesGiven += output->blockFrames;
    return output->samples.get();
}

// Where the page writes why it plays silently, before aurixWebAudioGaveUp.
extern "C" EMSCRIPTEN_KEEPALIVE char* aurixWebAudioReason() {
    return silentReason;
}

extern "C" EMSCRIPTEN_KEEPALIVE void aurixWebAudioGaveUp() {
    if (liveOutput == nullptr) return;
    silentReason[ReasonBytes - 1] = '\0';
    Aurix::outputGaveUp(*liveOutput, std::string(liveOutput->backend.device) + ": " + silentReason);
}

extern "C" EMSCRIPTEN_KEEPALIVE void aurixWebAudioUnderrun() {
    if (liveOutput != nullptr) liveOutput->underruns.fetch_add(1, std::memory_order_relaxed);
}

namespace Aurix {

AudioStatus openWebAudio(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    auto* output = new WebAudioOutput(engine, WebAudio);
    output->blockFrames = blockFrames;
    output->mixBuffer = std::make_unique<float[]>(2 * size_t(blockFrames));
    output->samples = std::make_unique<int16_t[]>(2 * size_t(blockFrames));
    // Configured before the first pull, which may come as soon as the
    // page's thread is free.
    bindOutput(*output, rate, blockFrames);  // no lock to make: cannot fail
    liveOutput = output;
    // A page without Web Audio or a worklet still plays, on a silent clock
    // of its own, and says why under the picture.
    connectFeed(static_cast<int>(rate), static_cast<int>(blockFrames), QueuedBlocks, SoundStartLimit, ReasonBytes);
    return Success;
}

}  // namespace Aurix
