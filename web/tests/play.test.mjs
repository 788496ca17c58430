// The page as a visitor meets it: the title until a click, the demo with
// its sound, a key that ends it, and the offer to play again.
import assert from "node:assert/strict";
import { mkdtemp, readFile, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { canvasPixels, launchBrowser, pageDir, renderTool, serve, waitForState } from "./harness.mjs";

const BlockSamples = 2 * 4096; // one block of interleaved stereo

let server;
let browser;
let page;
let mixFirstBlock;

before(async () => {
  server = await serve(pageDir);
  browser = await launchBrowser();
  page = await browser.browser.newPage();
  // The sound device's mix as the render tool writes it: a 44-byte header,
  // then 16-bit little-endian stereo samples.
  const dir = await mkdtemp(path.join(tmpdir(), "hazelglow-wav-"));
  try {
    await renderTool("--wav", path.join(dir, "mix.wav"));
    const wav = await readFile(path.join(dir, "mix.wav"));
    mixFirstBlock = Array.from({ length: BlockSamples }, (_, i) => wav.readInt16LE(44 + 2 * i));
  } finally {
    await rm(dir, { recursive: true, force: true });
  }
});

after(async () => {
  await browser?.close();
  server?.stop();
});

const visible = (selector) =>
  page.$eval(selector, (element) => getComputedStyle(element).visibility === "visible" && !element.hidden);
const text = (selector) => page.$eval(selector, (element) => element.textContent);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function blank(pixels) {
  for (let i = 0; i < pixels.length; i += 4) if (pixels[i] || pixels[i + 1] || pixels[i + 2]) return false;
  return true;
}

test("before the start: the title, on black, and one line of controls", async () => {
  await page.goto(server.url);
  await waitForState(page, ["ready"]);
  assert.equal(await page.title(), "rUUX - Vörnikö - Hazel Glow - ZKPW07");
  assert.match(await text("#message"), /rUUX - Vörnikö - Hazel Glow - ZKPW07/);
  assert.match(await text("#message"), /click or press a key to start/);
  assert.ok(await visible("#controls"));
  assert.match(await text("#controls"), /any key or a click ends it/);
  assert.ok(blank(await canvasPixels(page)), "the canvas is black before the start");
});

test("a click starts the demo with its sound", async () => {
  await page.click("canvas");
  // Start-up (decoding the soundtrack) comes first, as in the terminal.
  await waitForState(page, ["running"], 60000);
  await sleep(2000);
  assert.equal(await page.evaluate(() => window.hazelglow.state), "running");
  assert.ok(!(await visible("#controls")), "no controls line while the demo runs");
  assert.ok(!blank(await canvasPixels(page)), "the picture has changed two seconds in");
  const audio = await page.evaluate(() => window.hazelglow.audio());
  const frame = await page.evaluate(() => window.hazelglow.frame);
  assert.ok(frame > 0 && frame % 40 === 0, `the frame on the canvas has a t (${frame})`);
  if (audio.output === "silent") {
    // Headless Firefox on a machine without a sound device keeps its
    // audio context suspended: the page plays on a silent clock and says so.
    assert.notEqual(audio.contextState, "running");
    assert.match(await text("#sound"), /^hazelglow: no sound: Web Audio: .+ \(played silently\)$/);
    assert.ok(await visible("#sound"), "the reason is under the picture while the demo runs");
  } else {
    assert.equal(audio.output, "worklet");
    assert.equal(audio.contextState, "running");
    assert.equal(await text("#sound"), "");
  }
  assert.equal(audio.sampleRate, 44100);
  assert.ok(audio.blocks > 0, "blocks were fed");
  assert.ok(audio.audibleBlocks > 0, "some block fed was not silent");
  assert.equal(audio.firstBlock.length, BlockSamples);
  assert.deepEqual(audio.firstBlock, mixFirstBlock, "the first block is the render tool's first block");
});

test("a key ends it and the page offers to play again", async () => {
  const frameBefore = await canvasPixels(page);
  await page.keyboard.press("x");
  await waitForState(page, ["ended"], 10000);
  assert.equal(await page.evaluate(() => window.hazelglow.endedBy), "key");
  assert.match(await text("#message"), /click or press a key to play again/);
  assert.ok(await visible("#message"));
  assert.ok(await visible("#controls"));
  // The sound has stopped: nothing is fed any more.
  const fed = (await page.evaluate(() => window.hazelglow.audio())).blocks;
  await sleep(600);
  assert.equal((await page.evaluate(() => window.hazelglow.audio())).blocks, fed);
  assert.ok(!blank(frameBefore));
});

test("playing again starts a fresh run from its beginning", async () => {
  await page.click("canvas");
  await page.waitForFunction(() => window.hazelglow.state === "running" && window.hazelglow.audio().blocks > 0, {
    timeout: 10000,
  });
  const audio = await page.evaluate(() => window.hazelglow.audio());
  assert.deepEqual(audio.firstBlock, mixFirstBlock, "the second run's sound starts where the first one did");
});

test("a click ends it too, and that click does not start it again", async () => {
  await page.click("canvas");
  await waitForState(page, ["ended"], 10000);
  assert.equal(await page.evaluate(() => window.hazelglow.endedBy), "key");
  await sleep(1000);
  assert.equal(await page.evaluate(() => window.hazelglow.state), "ended");
});
