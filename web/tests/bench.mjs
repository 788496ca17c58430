// Figures, not a test: ?bench in headless Chromium renders the whole
// timeline as fast as it can; this prints the page's frame cost per scene
// (the frame through the same pipeline as the demo, then onto the canvas).
// Fails only when the page could not measure every scene.
//   node web/tests/bench.mjs
import { readFileSync } from "node:fs";
import { cpus } from "node:os";

import { launchBrowser, pageDir, serve, waitForState } from "./harness.mjs";

const server = await serve(pageDir);
const browser = await launchBrowser();
try {
  const page = await browser.browser.newPage();
  await page.goto(`${server.url}?bench`);
  await waitForState(page, ["benchmarked"], 1800000);
  const rows = await page.evaluate(() => window.hazelglow.bench);
  const version = await browser.browser.version();
  let model = cpus()[0]?.model ?? "unknown";
  try {
    model = /model name\s*:\s*(.*)/.exec(readFileSync("/proc/cpuinfo", "utf8"))[1];
  } catch {}
  console.log(`?bench in headless ${version} on ${model} (${cpus().length} cores)`);
  console.log("scene frames median_ms p99_ms max_ms");
  for (const row of rows)
    console.log(
      [row.scene.padStart(5), String(row.frames).padStart(6), row.medianMs.toFixed(2).padStart(9),
        row.p99Ms.toFixed(2).padStart(6), row.maxMs.toFixed(2).padStart(6)].join(" "));
  const scenes = rows.filter((row) => row.scene !== "end" && row.frames > 0).length;
  if (scenes !== 11) {
    console.error(`bench: ${scenes} of 11 scenes measured`);
    process.exitCode = 1;
  }
} finally {
  await browser.close();
  server.stop();
}
