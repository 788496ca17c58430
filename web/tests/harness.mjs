// What the browser tests share: the page folder served on 127.0.0.1 by
// Python's http.server (what the README tells visitors to use), headless
// Chromium from Debian driven by puppeteer-core with a fresh profile, and
// the render tool that the page's pictures and sound are checked against.
import { spawn, execFile } from "node:child_process";
import { existsSync } from "node:fs";
import { mkdtemp, rm, symlink, readdir } from "node:fs/promises";
import { tmpdir } from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { after, before } from "node:test";
import { promisify } from "node:util";
import puppeteer from "puppeteer-core";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
export const pageDir = process.env.HAZELGLOW_WEB_DIR || path.join(root, "build/web");
export const nativeBin = process.env.HAZELGLOW_NATIVE_BIN || path.join(root, "build/release/bin");

// For a test file that needs only the page served and a browser: both are
// started before its tests and stopped after them. The fields are set once
// the tests run.
export function servedPageAndBrowser(dir = pageDir) {
  const run = { server: null, browser: null };
  before(async () => {
    run.server = await serve(dir);
    run.browser = await launchBrowser();
  });
  after(async () => {
    await run.browser?.close();
    run.server?.stop();
  });
  return run;
}

// Serves `dir` on 127.0.0.1 at a port the system picks; resolves to the
// page's address and a stop function.
export async function serve(dir) {
  const server = spawn("python3", ["-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory", dir, "0"], {
    stdio: ["ignore", "pipe", "pipe"],
  });
  const port = await new Promise((resolve, reject) => {
    let seen = "";
    const timer = setTimeout(() => reject(new Error(`http.server did not start: ${seen}`)), 15000);
    server.stdout.on("data", (chunk) => {
      seen += chunk;
      const match = /port (\d+)/.exec(seen);
      if (match) {
        clearTimeout(timer);
        resolve(Number(match[1]));
      }
    });
    server.on("exit", (code) => reject(new Error(`http.server ended (${code}): ${seen}`)));
  });
  server.stderr.resume(); // its request log
  return {
    url: `http://127.0.0.1:${port}/`,
    stop: () => server.kill(),
  };
}

// A copy of the page folder (as links) without the named files.
export async function pageFolderWithout(...missing) {
  const dir = await mkdtemp(path.join(tmpdir(), "hazelglow-page-"));
  for (const name of await readdir(pageDir))
    if (!missing.includes(name)) await symlink(path.join(pageDir, name), path.join(dir, name));
  return { dir, remove: () => rm(dir, { recursive: true, force: true }) };
}

// The browsers the tests run in: HAZELGLOW_BROWSERS (comma-separated) or
// both, Chromium and Firefox ESR, each where it is installed.
export function browserNames() {
  const asked = process.env.HAZELGLOW_BROWSERS;
  if (asked) return asked.split(",").filter(Boolean);
  return ["chromium", "firefox"].filter((name) => existsSync(executables[name]));
}

const executables = {
  chromium: process.env.HAZELGLOW_CHROMIUM || "/usr/bin/chromium",
  firefox: process.env.HAZELGLOW_FIREFOX || "/usr/bin/firefox-esr",
};

// Chromium through the DevTools protocol, Firefox through WebDriver BiDi;
// each with a fresh profile.
// The test files run in HAZELGLOW_BROWSER (default chromium); CI runs them
// once per browser. With `sound`, Chromium plays out loud (puppeteer mutes
// it by default, which makes it write silence), to the sound server that
// PULSE_SERVER names.
export async function launchBrowser(name = process.env.HAZELGLOW_BROWSER || "chromium", { sound = false } = {}) {
  const profile = await mkdtemp(path.join(tmpdir(), `hazelglow-${name}-`));
  const options =
    name === "firefox"
      ? {
          browser: "firefox",
          protocol: "webDriverBiDi",
          executablePath: executables.firefox,
          headless: true,
          userDataDir: profile,
          extraPrefsFirefox: {
            // A page may start sound from a click, as a visitor's browser allows.
            "media.autoplay.default": 0,
            "media.autoplay.blocking_policy": 0,
          },
        }
      : {
          executablePath: executables.chromium,
          headless: true,
          ignoreDefaultArgs: sound ? ["--mute-audio"] : [],
          userDataDir: profile,
          args: [
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            `--user-data-dir=${profile}`,
          ],
        };
  const browser = await puppeteer.launch(options);
  return {
    name,
    browser,
    close: async () => {
      await browser.close();
      await rm(profile, { recursive: true, force: true });
    },
  };
}

// Waits until window.hazelglow.state is one of `states`; fails early, with
// the page's message, when the page reports an error it was not asked for.
export async function waitForState(page, states, timeout = 120000) {
  await page.waitForFunction(
    (wanted) => window.hazelglow && (wanted.includes(window.hazelglow.state) || window.hazelglow.state === "error"),
    { timeout, polling: 100 },
    states
  );
  const state = await page.evaluate(() => window.hazelglow.state);
  if (!states.includes(state)) throw new Error(`page error: ${await page.evaluate(() => window.hazelglow.error)}`);
  return state;
}

// The canvas's 640x600 RGBA pixels.
export async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const canvas = document.getElementById("canvas");
    const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let text = "";
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, "base64");
}

export const run = promisify(execFile);

export function renderTool(...args) {
  return run(path.join(nativeBin, "hazelglow-render"), ["--data", nativeBin, ...args], {
    maxBuffer: 64 * 1024 * 1024,
  });
}
