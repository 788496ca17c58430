// A page that cannot run says why on the page, naming the file, instead of
// leaving a blank canvas.
import assert from "node:assert/strict";
import { writeFile } from "node:fs/promises";
import path from "node:path";
import { after, before, test } from "node:test";

import { launchBrowser, pageFolderWithout, serve } from "./harness.mjs";

let browser;

before(async () => {
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
});

// Opens the page served from the page folder less `missing`, with
// `damaged` files replaced by bytes that are no such file; `act` may start
// it. Resolves to the page's error message.
async function errorShown({ missing = [], damaged = [], query = "", act = async () => {} }) {
  const folder = await pageFolderWithout(...missing, ...damaged);
  for (const name of damaged) await writeFile(path.join(folder.dir, name), "not what the name says\n");
  const server = await serve(folder.dir);
  const page = await browser.browser.newPage();
  try {
    await page.goto(server.url + query);
    await act(page);
    await page.waitForFunction(() => window.hazelglow.state === "error", { timeout: 60000 });
    const shown = await page.$eval("#message", (element) => ({
      text: element.textContent,
      visible: getComputedStyle(element).visibility === "visible",
    }));
    assert.ok(shown.visible, "the message is on screen");
    return shown.text;
  } finally {
    await page.close();
    server.stop();
    await folder.remove();
  }
}

for (const name of ["hazelglow.ogg", "wipe.png", "texts.png", "hazelglow.wasm"]) {
  test(`a missing ${name} is named on the page`, async () => {
    const message = await errorShown({ missing: [name] });
    assert.match(message, new RegExp(`Cannot load .*${name.replace(".", "\\.")}: 404`));
  });
}

test("a missing hazelglow.js is named on the page", async () => {
  assert.match(await errorShown({ missing: ["hazelglow.js"] }), /Cannot load hazelglow\.js/);
});

test("a damaged image strip is named when the frames are prepared", async () => {
  const message = await errorShown({ damaged: ["texts.png"], query: "?frame=1" });
  assert.match(message, /texts\.png: /);
});

// The soundtrack is decoded while the title shows, so the visitor learns
// before clicking.
test("a damaged soundtrack is named before the start", async () => {
  const message = await errorShown({ damaged: ["hazelglow.ogg"] });
  assert.match(message, /The demo cannot start: hazelglow\.ogg: /);
});

test("a bad test hook value is refused with a message", async () => {
  assert.match(await errorShown({ query: "?frame=ten" }), /\?frame= takes a whole number/);
});
