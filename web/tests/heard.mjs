// The page's side of the sound as a visitor hears it (scripts/ci_sound_web.py
// records the sound server's output and reads this): serves the page, opens
// it in one browser that plays out loud, clicks, lets the demo run `seconds`
// and prints one line of JSON: each frame put on the canvas as [t, when]
// (when: milliseconds since the epoch, the system clock the recorder's
// times are on too), the page's own account of the millisecond heard then,
// and what the page says of its sound.
//   node web/tests/heard.mjs --browser=chromium|firefox [seconds]
import { launchBrowser, pageDir, serve, waitForState } from "./harness.mjs";

const args = process.argv.slice(2);
const seconds = Number(args.find((arg) => /^[0-9]+$/.test(arg)) ?? 20);
const name = (args.find((arg) => arg.startsWith("--browser=")) ?? "=chromium").split("=")[1];
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const server = await serve(pageDir);
const browser = await launchBrowser(name, { sound: true });
try {
  const page = await browser.browser.newPage();
  await page.goto(server.url);
  await waitForState(page, ["ready"]);
  await sleep(500);
  await page.click("canvas");
  await sleep(seconds * 1000);
  const result = await page.evaluate(() => {
    // The page's clock on the system's: timeOrigin is taken once, and
    // Date.now() is whole milliseconds, so the middle of many readings.
    const skews = [];
    for (let i = 0; i < 200; ++i) skews.push(Date.now() + 0.5 - (performance.timeOrigin + performance.now()));
    skews.sort((a, b) => a - b);
    const origin = performance.timeOrigin + skews[100];
    const page = window.hazelglow;
    return {
      frames: page.shown.map(([t, at, heard]) => [t, origin + at, heard]),
      clickedAt: origin + page.clickedAt,
      audio: page.audio(),
      latency: [page.audioContext?.baseLatency ?? null, page.audioContext?.outputLatency ?? null],
      sound: document.getElementById("sound").textContent,
    };
  });
  await page.keyboard.press("x");
  await waitForState(page, ["ended"], 10000);
  console.log(JSON.stringify({ browser: await browser.browser.version(), ...result }));
} finally {
  await browser.close();
  server.stop();
}
