// Frames chosen by the clock, not by the animation callbacks: a page given
// its callbacks at 120 Hz (as a 120 Hz display would) shows one frame per
// 40 ms, in order, each near its moment of the sound.
import assert from "node:assert/strict";
import { test } from "node:test";

import { callbackTimer } from "./callbacks.mjs";
import { servedPageAndBrowser, waitForState } from "./harness.mjs";

const run = servedPageAndBrowser();

test("at 120 callbacks a second the frames still come every 40 ms, on the sound's time", async () => {
  const page = await run.browser.browser.newPage();
  await page.evaluateOnNewDocument(callbackTimer, 120);
  await page.goto(run.server.url);
  await waitForState(page, ["ready"]);
  await page.click("canvas");
  await new Promise((resolve) => setTimeout(resolve, 4000));
  const { shown, callbacks } = await page.evaluate(() => ({
    shown: window.hazelglow.shown,
    callbacks: window.hazelglowCallbacks.count,
  }));
  await page.keyboard.press("x");
  assert.ok(callbacks > 2 * shown.length, `${callbacks} callbacks for ${shown.length} frames`);
  const steps = shown.slice(1).map(([t], i) => t - shown[i][0]);
  assert.ok(steps.every((step) => step >= 40 && step % 40 === 0), "frames in order, none twice");
  assert.ok(steps.filter((step) => step === 40).length >= 0.9 * steps.length, "hardly a frame left out");
  const [lastT, lastAt] = shown[shown.length - 1];
  const [firstT, firstAt] = shown[0];
  // Real time between the first and last frame shown matches their t.
  assert.ok(Math.abs(lastAt - firstAt - (lastT - firstT)) < 60, `${lastAt - firstAt} ms for ${lastT - firstT} ms of frames`);
  // By the page's own account of the sound, each frame falls near its moment.
  const offsets = shown.filter(([, , heard]) => heard !== null).map(([t, , heard]) => heard - t);
  assert.ok(offsets.length > 0.9 * shown.length);
  assert.ok(offsets.every((offset) => Math.abs(offset) < 60), `offsets ${Math.min(...offsets)}..${Math.max(...offsets)} ms`);
});
