// Crisp at any device pixel ratio: the picture on the screen is the
// canvas's 640x600 pixels scaled by a whole number in device pixels, each
// canvas pixel a square of k x k device pixels of its own colour, with no
// pixel blended from two (a picture placed between device pixels or scaled
// by a fraction would blend its cells' edges). Checked on the screenshot,
// which is in device pixels, at ratios 1.25 and 2 and at window sizes
// that do not divide evenly.
import assert from "node:assert/strict";
import { test } from "node:test";

import { canvasPixels, servedPageAndBrowser, waitForState } from "./harness.mjs";
import { decodePng } from "./png.mjs";

// Scene 5, midway: seven colours, sharp cell edges.
const Frame = 1800;

const run = servedPageAndBrowser();

const cases = [
  { ratio: 1.25, width: 1001, height: 899 },
  { ratio: 1.25, width: 1603, height: 1401 },
  { ratio: 2, width: 803, height: 777 },
  { ratio: 2, width: 1291, height: 1229 },
];

for (const { ratio, width, height } of cases) {
  test(`device pixel ratio ${ratio}, a ${width}x${height} window: whole device pixels, no blended pixel`, async () => {
    const page = await run.browser.browser.newPage();
    try {
      await page.setViewport({ width, height, deviceScaleFactor: ratio });
      await page.goto(`${run.server.url}?frame=${Frame}`);
      await waitForState(page, ["shown"], 600000);
      assert.equal(await page.evaluate(() => window.devicePixelRatio), ratio);
      const source = await canvasPixels(page);
      const rect = await page.$eval("canvas", (canvas) => {
        const { left, top, width: w, height: h } = canvas.getBoundingClientRect();
        return { left, top, width: w, height: h };
      });
      const shot = decodePng(Buffer.from(await page.screenshot({ type: "png" })));
      assert.ok(Math.abs(shot.width - width * ratio) < 1, `the screenshot is in device pixels (${shot.width} across)`);

      const scale = (rect.width * ratio) / 640;
      assert.ok(Number.isInteger(scale) && scale >= 1, `the picture is ${scale} times its pixels across`);
      assert.equal((rect.height * ratio) / 600, scale, "and as many down");
      const left = rect.left * ratio;
      const top = rect.top * ratio;
      assert.ok(Number.isInteger(left) && Number.isInteger(top), `the picture starts at device pixel ${left}, ${top}`);

      const colours = new Set();
      for (let i = 0; i < source.length; i += 4) colours.add(source.readUInt32BE(i) >>> 8);
      assert.ok(colours.size > 4, `frame ${Frame} has ${colours.size} colours`);
      let foreign = 0;
      let misplaced = 0;
      let firstBad = null;
      for (let y = 0; y < 600 * scale; ++y)
        for (let x = 0; x < 640 * scale; ++x) {
          const at = 4 * ((top + y) * shot.width + left + x);
          const colour = shot.rgba.readUInt32BE(at) >>> 8;
          const own = source.readUInt32BE(4 * (Math.floor(y / scale) * 640 + Math.floor(x / scale))) >>> 8;
          if (!colours.has(colour)) ++foreign;
          if (colour !== own) {
            ++misplaced;
            firstBad ??= `device pixel ${x}, ${y}: ${colour.toString(16)} for ${own.toString(16)}`;
          }
        }
      assert.equal(foreign, 0, `device pixels of a colour the frame does not have (${firstBad})`);
      assert.equal(misplaced, 0, `device pixels not of their canvas pixel's colour (${firstBad})`);
    } finally {
      await page.close();
    }
  });
}
