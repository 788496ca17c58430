// The page's sound on the browser's audio thread: plays the blocks of
// interleaved stereo the page posts, in order, silence when none is there,
// and tells the page which of its frames plays at which frame of the audio
// context, so that the page knows what is heard when. Plain messages, no
// shared memory: the page needs no special headers. Told "finish", it plays
// what it holds, reports where its last frame plays (`last`) and ends.
"use strict";

const ReportEvery = 8; // quanta (of 128 frames at 44 100 Hz: 23 ms)

class HazelGlowFeed extends AudioWorkletProcessor {
  constructor() {
    super();
    this.blocks = [];
    this.offset = 0; // frames of blocks[0] already played
    this.played = 0; // frames of the page's blocks played so far
    this.quanta = 0;
    this.starved = true; // the last quantum ran out of blocks
    this.stopped = false;
    this.finishing = false;
    this.port.onmessage = (event) => {
      if (event.data === "stop") this.stopped = true;
      else if (event.data === "finish") this.finishing = true;
      else this.blocks.push(event.data);
    };
  }

  process(inputs, outputs) {
    if (this.stopped) return false;
    const [left, right] = outputs[0];
    const first = this.played;
    let filled = 0;
    while (filled < left.length && this.blocks.length > 0) {
      const block = this.blocks[0];
      const count = Math.min(left.length - filled, block.length / 2 - this.offset);
      for (let i = 0; i < count; ++i) {
        left[filled + i] = block[2 * (this.offset + i)];
        right[filled + i] = block[2 * (this.offset + i) + 1];
      }
      filled += count;
      this.offset += count;
      if (2 * this.offset === block.length) {
        this.blocks.shift();
        this.offset = 0;
      }
    }
    left.fill(0, filled);
    right.fill(0, filled);
    this.played += filled;
    // Page frame `played` plays at context frame `frame`, and `count`
    // frames on from there: at once when that changes, else now and then.
    const starved = filled < left.length;
    if (starved && this.finishing) {
      this.port.postMessage({ played: first, frame: currentFrame, count: filled, whole: false, last: true });
      return false;
    }
    if (this.quanta++ % ReportEvery === 0 || starved !== this.starved)
      this.port.postMessage({ played: first, frame: currentFrame, count: filled, whole: !starved });
    this.starved = starved;
    return true;
  }
}

registerProcessor("hazelglow-feed", HazelGlowFeed);
