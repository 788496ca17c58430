// The browser's sound output: Web Audio, fed from the page's own thread.
//
// A script processor node of one block (4096 frames, stereo) asks for a
// block whenever the browser's audio thread needs one; the request runs on
// the page's thread, pulls renderBlock, converts the mix to 16-bit as a
// sound device receives it (toPcm16) and hands those samples to Web Audio.
// No worker and no SharedArrayBuffer, so the page needs no cross-origin
// isolation, and no engine lock: the node's requests and every other engine
// call run on the same thread, one after the other.
//
// The page makes the AudioContext (at 44 100 Hz, on the visitor's gesture,
// as browsers require) and hands it over as Module.audioContext before the
// engine starts. Module.audioFeed counts what was fed, for the page's tests.
#include <emscripten/emscripten.h>
#include <memory>

#include "audio/output.h"

namespace {

struct WebAudioOutput : Aurix::BoundOutput {
    using BoundOutput::BoundOutput;
    uint32_t blockFrames = 0;
    std::unique_ptr<float[]> mixBuffer;
    std::unique_ptr<int16_t[]> samples;
};

// The open output, found by the node's requests; null while none is open.
WebAudioOutput* liveOutput = nullptr;

// 0 when connected, else why not: 1 no Web Audio, 2 another sample rate.
EM_JS(int, connectScriptNode, (int rate, int blockFrames), {
    var context = Module["audioContext"];
    if (!context || typeof context.createScriptProcessor != "function") return 1;
    if (context.sampleRate != rate) return 2;
    var feed = {blocks : 0, audibleBlocks : 0, firstBlock : null};
    var node = context.createScriptProcessor(blockFrames, 0, 2);
    node.onaudioprocess = function(event) {
        var left = event.outputBuffer.getChannelData(0);
        var right = event.outputBuffer.getChannelData(1);
        var pointer = _aurixWebAudioPull();
        if (!pointer) {
            left.fill(0);
            right.fill(0);
            return;
        }
        var block = HEAP16.subarray(pointer >> 1, (pointer >> 1) + 2 * blockFrames);
        var audible = false;
        for (var i = 0; i < blockFrames; i++) {
            left[i] = block[2 * i] / 32768;
            right[i] = block[2 * i + 1] / 32768;
            if (block[2 * i] != 0 || block[2 * i + 1] != 0) audible = true;
        }
        if (feed.blocks == 0) feed.firstBlock = Int16Array.from(block);
        feed.blocks++;
        if (audible) feed.audibleBlocks++;
    };
    node.connect(context.destination);
    Module["audioNode"] = node;
    Module["audioFeed"] = feed;
    return 0;
});

EM_JS(void, disconnectScriptNode, (), {
    var node = Module["audioNode"];
    if (!node) return;
    node.onaudioprocess = null;
    node.disconnect();
    Module["audioNode"] = null;
});

void release(Aurix::BoundOutput& bound) {
    auto* output = static_cast<WebAudioOutput*>(&bound);
    disconnectScriptNode();
    if (liveOutput == output) liveOutput = nullptr;
    Aurix::unbindOutput(*output);
    delete output;
}

constexpr Aurix::OutputBackend WebAudio{"WebAudio", "Web Audio", false, release, nullptr};

}  // namespace

// The node's request for the next block: interleaved 16-bit stereo, or null
// when no output is open (the node then plays silence).
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* aurixWebAudioPull() {
    WebAudioOutput* output = liveOutput;
    if (output == nullptr) return nullptr;
    const uint32_t count = 2 * output->blockFrames;
    output->engine.renderBlock(output->mixBuffer.get(), output->blockFrames);
    for (uint32_t i = 0; i < count; ++i) output->samples[i] = Aurix::toPcm16(output->mixBuffer[i]);
    return output->samples.get();
}

namespace Aurix {

AudioStatus openWebAudio(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    auto* output = new WebAudioOutput(engine, WebAudio);
    output->blockFrames = blockFrames;
    output->mixBuffer = std::make_unique<float[]>(2 * size_t(blockFrames));
    output->samples = std::make_unique<int16_t[]>(2 * size_t(blockFrames));
    // Configured before the node exists: its first request may come as soon
    // as the page's thread is free.
    bindOutput(*output, rate, blockFrames);  // no lock to make: cannot fail
    liveOutput = output;
    switch (connectScriptNode(static_cast<int>(rate), static_cast<int>(blockFrames))) {
    case 0:
        return Success;
    case 2:
        return failOutput(*output, "the page's audio context does not run at 44 100 Hz");
    default:
        return failOutput(*output, "no Web Audio on this page");
    }
}

}  // namespace Aurix
