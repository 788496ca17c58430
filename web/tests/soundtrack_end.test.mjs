// The demo ends with its soundtrack: with a soundtrack of a third of a
// second (a PCM WAVE file, which the loader also takes) the page ends the
// run on its own and offers to play again.
import assert from "node:assert/strict";
import { writeFile } from "node:fs/promises";
import path from "node:path";
import { after, before, test } from "node:test";

import { launchBrowser, pageFolderWithout, serve, waitForState } from "./harness.mjs";

const Rate = 44100;

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
  await writeFile(path.join(folder.dir, "hazelglow.ogg"), toneWave(Rate / 3));
  server = await serve(folder.dir);
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  server?.stop();
  await folder?.remove();
});

test("the run ends when its soundtrack has played, and the page offers to play again", async () => {
  const page = await browser.browser.newPage();
  await page.goto(server.url);
  await waitForState(page, ["ready"]);
  await page.click("canvas");
  await waitForState(page, ["ended"], 30000);
  assert.equal(await page.evaluate(() => window.hazelglow.endedBy), "soundtrack");
  assert.match(await page.$eval("#message", (element) => element.textContent), /play again/);
  const audio = await page.evaluate(() => window.hazelglow.audio());
  // 14 700 frames of tone lie in the first four blocks of 4096; the mixer
  // removes the voice after the fourth, and what it mixes after is silence.
  assert.equal(audio.audibleBlocks, 4);
  assert.ok(audio.blocks >= 4);
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
  assert.equal(await page.$eval("#sound", (element) => element.textContent),
    "Playing without sound: this browser has no Web Audio.");
  await waitForState(page, ["ended"], 30000);
  assert.equal(await page.evaluate(() => window.hazelglow.endedBy), "soundtrack");
  const audio = await page.evaluate(() => window.hazelglow.audio());
  assert.equal(audio.output, "silent");
  assert.equal(audio.audibleBlocks, 4, "the silent clock mixed the whole tone");
});
