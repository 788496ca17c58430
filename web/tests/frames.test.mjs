// ?frame=N draws exactly what the render tool's --png draws for frame N:
// one frame in the middle of every scene, and a greetings frame at two
// start ticks (the tick picks which of the two pages shows).
import assert from "node:assert/strict";
import { mkdtemp, readFile, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { canvasPixels, launchBrowser, pageDir, renderTool, serve, waitForState } from "./harness.mjs";
import { decodePng } from "./png.mjs";

const SceneFrames = 400; // 16 s of 40 ms frames
const cases = Array.from({ length: 11 }, (_, scene) => ({
  what: `scene ${scene + 1}`,
  frame: scene * SceneFrames + SceneFrames / 2,
  startTick: null,
}));
// Frame 3000 (t = 120 000) is in scene 8: page 3 at tick 0, page 4 from a
// tick that also tests that ticks past 2^31 reach the demo unchanged.
cases.push({ what: "scene 8 started at tick 2^32 - 1000", frame: 3000, startTick: 4294966296 });

let server;
let browser;
let shots;

before(async () => {
  server = await serve(pageDir);
  browser = await launchBrowser();
  shots = await mkdtemp(path.join(tmpdir(), "hazelglow-shots-"));
});

after(async () => {
  await browser?.close();
  server?.stop();
  if (shots) await rm(shots, { recursive: true, force: true });
});

async function renderToolFrame(frame, startTick) {
  const dir = path.join(shots, `${frame}-${startTick ?? 0}`);
  const tick = startTick !== null ? ["--start-tick", String(startTick)] : [];
  await renderTool(...tick, "--frames", String(frame), "--from", String(frame), "--png", dir);
  return decodePng(await readFile(path.join(dir, `frame_${frame}.png`)));
}

async function pageFrame(frame, startTick) {
  const page = await browser.browser.newPage();
  try {
    const tick = startTick !== null ? `&start-tick=${startTick}` : "";
    await page.goto(`${server.url}?frame=${frame}${tick}`);
    await waitForState(page, ["shown"], 600000);
    return await canvasPixels(page);
  } finally {
    await page.close();
  }
}

function differingPixels(a, b) {
  let count = 0;
  for (let i = 0; i < a.length; i += 4)
    if (a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2] || a[i + 3] !== b[i + 3]) ++count;
  return count;
}

const pictures = new Map();

for (const { what, frame, startTick } of cases) {
  test(`?frame=${frame}${startTick !== null ? `&start-tick=${startTick}` : ""} (${what}) equals --png`, async () => {
    // The native render runs beside the browser's: two cores.
    const [expected, shown] = await Promise.all([renderToolFrame(frame, startTick), pageFrame(frame, startTick)]);
    assert.equal(expected.width, 640);
    assert.equal(expected.height, 600);
    assert.equal(shown.length, expected.rgba.length);
    assert.equal(differingPixels(shown, expected.rgba), 0, "pixels that differ from the render tool's");
    pictures.set(`${frame}/${startTick}`, shown);
  });
}

test("the start tick changes the greetings page", () => {
  const atZero = pictures.get("3000/null");
  const atLateTick = pictures.get("3000/4294966296");
  assert.ok(atZero && atLateTick, "both frame 3000 pictures were taken");
  assert.ok(differingPixels(atZero, atLateTick) > 1000, "the two start ticks show different pages");
});
