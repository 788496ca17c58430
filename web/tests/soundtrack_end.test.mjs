// The demo ends with its soundtrack: with a soundtrack of a third of a
// second (a PCM WAVE file, which the loader also takes) the page ends the
// run on its own, once the tone's last sample has been heard, and offers to
// play again. Without sound (no Web Audio, or a context the browser keeps
// suspended) it plays on a silent clock and shows the engine's word on the
// sound under the picture, as the terminal demo prints it.
import assert from "node:assert/strict";
import { writeFile } from "node:fs/promises";
import path from "node:path";
import { after, before, test } from "node:test";

import { launchBrowser, pageFolderWithout, serve, waitForState } from "./harness.mjs";

const Rate = 44100;
const ToneFrames = Rate / 3;

// 16-bit stereo PCM: a quiet 440 Hz tone of `frames` frames.
function toneWave(frames) {
  const wave = Buffer.alloc(44 + 4 * frames);
  wave.write("RIFF", 0, "latin1");
  wave.writeUInt32LE(36 + 4 * frames, 4);
  wave.write("WAVEfmt ", 8, "latin1");
  wave.writeUInt32LE(16, 16);
  wave.writeUInt16LE(1, 20); // PCM
  wave.writeUInt16LE(2, 22); // stereo
  wave.writeUInt32LE(Rate, 24);
  wave.writeUInt32LE(Rate * 4, 28);
  wave.writeUInt16LE(4, 32);
  wave.writeUInt16LE(16, 34);
  wave.write("data", 36, "latin1");
  wave.writeUInt32LE(4 * frames, 40);
  for (let i = 0; i < frames; ++i) {
    const sample = Math.round(8000 * Math.sin((2 * Math.PI * 440 * i) / Rate));
    wave.writeInt16LE(sample, 44 + 4 * i);
    wave.writeInt16LE(sample, 46 + 4 * i);
  }
  return wave;
}

let browser;
let folder;
let server;

before(async () => {
  folder = await pageFolderWithout("hazelglow.ogg");
  await writeFile(path.join(folder.dir, "hazelglow.ogg"), toneWave(ToneFrames));
  server = await serve(folder.dir);
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  server?.stop();
  await folder?.remove();
});

// The run's end against its sound: the output frames heard when the page
// ended the run, the tone's frames, and how long the run lasted.
async function runToTheEnd(page) {
  await waitForState(page, ["ready"]);
  await page.click("canvas");
  await waitForState(page, ["ended"], 30000);
  return page.evaluate(() => ({
    endedBy: window.hazelglow.endedBy,
    heard: window.hazelglow.heardAtEnd,
    audio: window.hazelglow.audio(),
    clickedAt: window.hazelglow.clickedAt,
    endedAt: window.hazelglow.endedAt,
    sound: document.getElementById("sound").textContent,
  }));
}

test("the run ends once its soundtrack's last sample is heard, and the page offers to play again", async () => {
  const page = await browser.browser.newPage();
  await page.goto(server.url);
  const end = await runToTheEnd(page);
  assert.equal(end.endedBy, "soundtrack");
  assert.match(await page.$eval("#message", (element) => element.textContent), /play again/);
  // 14 700 frames of tone lie in the first four blocks of 4096; the mixer
  // removes the voice after the fourth, and what it mixes after is silence.
  assert.equal(end.audio.audibleBlocks, 4);
  assert.ok(end.audio.blocks >= 4);
  assert.equal(end.audio.last, ToneFrames);
  // Heard to its last sample, and not held on for long after: the queue
  // beyond it is silence.
  assert.ok(end.heard >= ToneFrames, `ended with ${end.heard} of ${ToneFrames} frames heard`);
  assert.ok(end.heard < ToneFrames + Rate / 10, `ended ${end.heard - ToneFrames} frames after the last sample`);
  // No sooner than the tone could be heard from the click on.
  const lasted = end.endedAt - end.clickedAt;
  assert.ok(lasted >= 1000 / 3, `the run lasted ${lasted.toFixed(0)} ms from the click`);
  assert.equal(end.audio.gaps, 0, "the end is no gap");
  // Headless Firefox on a machine without a sound device keeps its context
  // suspended: there the silent clock's end is what is checked.
  if (end.audio.output === "silent") assert.match(end.sound, /^hazelglow: no sound: Web Audio: the browser kept/);
  else assert.equal(end.sound, "", "a run whose sound played says nothing of it");
});

test("without Web Audio the run plays on a silent clock, ends with its soundtrack and says why", async () => {
  const page = await browser.browser.newPage();
  await page.evaluateOnNewDocument(() => {
    delete window.AudioContext;
    delete window.webkitAudioContext;
  });
  await page.goto(server.url);
  await waitForState(page, ["ready"]);
  await page.click("canvas");
  await page.waitForFunction(() => window.hazelglow.frame > 0, { timeout: 10000 });
  const said = "hazelglow: no sound: Web Audio: this browser has no Web Audio (played silently)";
  assert.equal(await page.$eval("#sound", (element) => element.textContent), said);
  await waitForState(page, ["ended"], 30000);
  assert.equal(await page.evaluate(() => window.hazelglow.endedBy), "soundtrack");
  const audio = await page.evaluate(() => window.hazelglow.audio());
  assert.equal(audio.output, "silent");
  assert.equal(audio.audibleBlocks, 4, "the silent clock mixed the whole tone");
  assert.ok((await page.evaluate(() => window.hazelglow.heardAtEnd)) >= ToneFrames, "the silent clock ran to the end");
  assert.equal(await page.$eval("#sound", (element) => element.textContent), said, "still said after the run");
});

// What a visitor whose browser blocks sound, or who has no sound device,
// meets: the context made, the click given, and yet it never runs.
test("a context the browser keeps suspended: the silent clock after a second, the engine's reason shown", async () => {
  const page = await browser.browser.newPage();
  await page.evaluateOnNewDocument(() => {
    const Context = window.AudioContext;
    window.AudioContext = class extends Context {
      constructor(options) {
        super(options);
        this.suspend();
      }
      resume() {
        return Promise.resolve();
      }
    };
  });
  await page.goto(server.url);
  const end = await runToTheEnd(page);
  assert.equal(end.endedBy, "soundtrack");
  assert.equal(end.audio.contextState, "suspended");
  assert.equal(end.audio.output, "silent");
  assert.equal(end.sound, "hazelglow: no sound: Web Audio: the browser kept the audio context suspended " +
    "(no sound device, or sound not allowed) (played silently)");
  assert.ok(end.heard >= ToneFrames, "the silent clock ran to the end");
  // The first frame waits up to the second the context is given.
  assert.ok(end.audio.audibleBlocks === 4);
});
