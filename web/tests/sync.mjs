// Figures, not a test: the picture against its sound, by the browser's own
// account of what is heard when (the audio context's output timestamp).
// For each browser: one run of `seconds` (default 20) after a click, then
// a second run with the tab hidden for 10 s (another tab in front) partway.
// Prints the offset picture minus sound (the soundtrack millisecond heard
// when frame t went onto the canvas, less t; positive: the picture is late)
// as median, p95 and worst, the time from the click to the first frame, the
// longest animation callback, and after the hidden tab how long until the
// frames were back within 45 ms.
//   node web/tests/sync.mjs [seconds] [--callbacks-hz=N] [--browser=chromium|firefox]
import { launchBrowser, pageDir, serve, waitForState, browserNames } from "./harness.mjs";
import { callbackTimer } from "./callbacks.mjs";

const args = process.argv.slice(2);
const seconds = Number(args.find((arg) => /^[0-9]+$/.test(arg)) ?? 20);
const hz = Number((args.find((arg) => arg.startsWith("--callbacks-hz=")) ?? "=0").split("=")[1]);
const only = (args.find((arg) => arg.startsWith("--browser=")) ?? "").split("=")[1];
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function summary(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  const at = (share) => sorted[Math.min(sorted.length - 1, Math.floor(share * sorted.length))];
  const worst = sorted.reduce((w, v) => (Math.abs(v) > Math.abs(w) ? v : w), 0);
  return `median ${at(0.5).toFixed(1)} ms, p95 ${at(0.95).toFixed(1)} ms, worst ${worst.toFixed(1)} ms (${values.length} frames)`;
}

async function oneRun(browser, url, { hideAt = null } = {}) {
  const page = await browser.browser.newPage();
  await page.evaluateOnNewDocument(callbackTimer, hz);
  await page.goto(url);
  await waitForState(page, ["ready"]);
  await sleep(500);
  await page.click("canvas");
  let hiddenFrom = null;
  let backAt = null;
  let stalledAt = null;
  if (hideAt !== null) {
    await sleep(hideAt * 1000);
    const other = await browser.browser.newPage();
    await other.bringToFront();
    hiddenFrom = await page.evaluate(() => [performance.now(), document.visibilityState]);
    await sleep(10000);
    await page.bringToFront();
    backAt = await page.evaluate(() => [performance.now(), document.visibilityState]);
    await other.close();
    await sleep((seconds - hideAt) * 1000);
  } else {
    // Halfway, the page's thread stalls for 200 ms: the sound must play on.
    await sleep((seconds * 1000) / 2);
    stalledAt = await page.evaluate(() => {
      const begin = performance.now();
      while (performance.now() < begin + 200);
      return begin;
    });
    await sleep((seconds * 1000) / 2);
  }
  const result = await page.evaluate(() => ({
    shown: window.hazelglow.shown,
    clickedAt: window.hazelglow.clickedAt,
    audio: window.hazelglow.audio(),
    longestCallback: window.hazelglowCallbacks ? window.hazelglowCallbacks.longest : null,
    longCallbacks: window.hazelglowCallbacks ? window.hazelglowCallbacks.long : [],
    latency: [window.hazelglow.audioContext?.baseLatency, window.hazelglow.audioContext?.outputLatency],
  }));
  await page.close();
  return { ...result, hiddenFrom, backAt, stalledAt };
}

const offsets = (shown) => shown.filter(([, , heard]) => heard !== null).map(([t, , heard]) => heard - t);

const names = only ? [only] : browserNames();
const server = await serve(pageDir);
try {
  for (const name of names) {
    const browser = await launchBrowser(name);
    try {
      const version = await browser.browser.version();
      const plain = await oneRun(browser, server.url);
      console.log(`${version}${hz ? `, animation callbacks at ${hz} Hz` : ""}: sound ${plain.audio.output}` +
        `${plain.audio.silentReason ? ` (${plain.audio.silentReason})` : ""}, ` +
        `baseLatency ${plain.latency[0]} s, outputLatency ${plain.latency[1]} s`);
      console.log(`  ${seconds} s run: offset picture minus sound: ${summary(offsets(plain.shown))}`);
      console.log(`  sound gaps over the run, with a 200 ms stall of the page's thread halfway: ${plain.audio.gaps}`);
      const afterStall = plain.shown.filter(([, at, heard]) => at > plain.stalledAt + 200 && heard !== null);
      if (afterStall.length > 0) {
        const [t, at, heard] = afterStall[0];
        const second = afterStall.filter(([, when]) => when < plain.stalledAt + 1200);
        console.log(`  after the stall: the first frame ${(at - plain.stalledAt - 200).toFixed(0)} ms after it, ` +
          `${(heard - t).toFixed(1)} ms off; the second after it: ${summary(offsets(second))}`);
      }
      console.log(`  click to first frame: ${(plain.shown[0][1] - plain.clickedAt).toFixed(0)} ms` +
        (plain.longestCallback !== null ? `; longest animation callback ${plain.longestCallback.toFixed(1)} ms` : ""));
      if (process.env.HAZELGLOW_SYNC_DETAIL) {
        console.log("  long callbacks [ms after click, ms]:", JSON.stringify(plain.longCallbacks.map(([at, ms]) => [Math.round(at - plain.clickedAt), Math.round(ms)])));
        console.log("  frames over 30 ms off [ms after click, t, offset]:", JSON.stringify(plain.shown
          .filter(([t, , heard]) => heard !== null && Math.abs(heard - t) > 30)
          .map(([t, at, heard]) => [Math.round(at - plain.clickedAt), t, Math.round(heard - t)])));
        console.log("  the stall (ms after click):", Math.round(plain.stalledAt - plain.clickedAt));
      }
      const hidden = await oneRun(browser, server.url, { hideAt: 3 });
      const [backTime, backState] = hidden.backAt;
      console.log(`  hidden tab (${hidden.hiddenFrom[1]} for 10 s, then ${backState}):`);
      const after = hidden.shown.filter(([, at]) => at > backTime);
      if (after.length === 0) {
        console.log("    no frame after the tab came back");
        continue;
      }
      const inStep = after.find(([t, , heard]) => heard !== null && Math.abs(heard - t) <= 45);
      const first = after[0];
      console.log(`    first frame after coming back ${(first[1] - backTime).toFixed(0)} ms later, ` +
        `${(first[2] - first[0]).toFixed(0)} ms off; within 45 ms ` +
        (inStep ? `${(inStep[1] - backTime).toFixed(0)} ms after coming back` : "never"));
      console.log(`    frames put on the canvas while catching up: ` +
        `${after.filter(([, at]) => !inStep || at < inStep[1]).length}; offset from then on: ` +
        summary(offsets(after.filter(([, at]) => inStep && at >= inStep[1]))));
      if (hidden.longestCallback !== null) console.log(`    longest animation callback ${hidden.longestCallback.toFixed(1)} ms`);
    } finally {
      await browser.close();
    }
  }
} finally {
  server.stop();
}
