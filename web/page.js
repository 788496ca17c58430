// Hazel Glow's page: loads the demo (hazelglow.js and hazelglow.wasm) and
// its three data files from beside the page, shows the title until a click
// or a key, then runs the demo with its soundtrack and afterwards offers to
// play again. Every run gets a fresh instance of the demo, so each starts
// from the first frame's state, as the terminal demo does.
//
// Test hooks in the address, for checking without sound or timing:
//   ?frame=N          renders frames 1..N, shows frame N and stops
//   ?start-tick=MS    the tick count the demo is taken to have started at
//                     (it picks the alternating greetings pages)
//   ?bench            renders the whole timeline as fast as it can and shows
//                     the frame cost per scene
// window.hazelglow tells the page's state, the frame on the canvas, the
// sound fed and the bench figures to the tests.
"use strict";

(function () {
  // The data files' names and the title come from the demo itself.
  let dataFiles = [];
  let title = "";
  const FrameWidth = 640;
  const FrameHeight = 600;
  const FramesPerChunk = 50; // test hooks give the page back this often
  const BenchSettle = 1000; // ms between loading and ?bench's first frame

  const canvas = document.getElementById("canvas");
  const screen = document.getElementById("screen");
  const context2d = canvas.getContext("2d");
  const picture = context2d.createImageData(FrameWidth, FrameHeight);
  // The canvas black and opaque, as the first frame will leave it: the
  // browser makes its backing store now, not on the first frame (12 to 19 ms).
  for (let i = 3; i < picture.data.length; i += 4) picture.data[i] = 0xff;
  context2d.putImageData(picture, 0, 0);
  const message = document.getElementById("message");
  const controls = document.getElementById("controls");
  const benchOutput = document.getElementById("bench");
  const soundNote = document.getElementById("sound");

  const page = {
    state: "loading",
    error: null,
    bench: null,
    audioContext: null,
    run: null, // the instance of the current or last run
    endedBy: null, // how the last run ended: "key" or "soundtrack"
    endedAt: null, // performance.now() when it ended
    heardAtEnd: null, // output frames of its sound heard by then
    frame: 0, // t of the frame on the canvas in the current or last run, 0 before its first
    clickedAt: null, // performance.now() of the click that started the current or last run
    // Each frame put on the canvas in the current or last run: its t, when
    // (performance.now()) and the soundtrack's millisecond heard then.
    shown: [],
    // What the sound output was fed in the current or last run.
    audio() {
      const feed = page.run && page.run.audioFeed;
      const context = page.audioContext;
      return {
        contextState: context ? context.state : "none",
        sampleRate: context ? context.sampleRate : 0,
        output: feed ? feed.output : "none",
        silentReason: feed ? feed.silentReason : null,
        gaps: feed ? feed.gaps : 0, // times the worklet ran out of blocks after the start
        blocks: feed ? feed.blocks : 0,
        audibleBlocks: feed ? feed.audibleBlocks : 0,
        firstBlock: feed && feed.firstBlock ? Array.from(feed.firstBlock) : null,
        last: feed ? feed.last : null, // the output frame the run ends on once heard
      };
    },
  };
  window.hazelglow = page;

  const hooks = { frame: null, startTick: null, bench: false }; // from the address
  let wasmModule = null; // the demo's code, compiled once for every instance
  const dataBytes = new Map();
  let next = null; // an instance ready for the next run
  let startWhenReady = false;
  let swallowClick = false; // the click that follows a press that ended the demo

  function setState(state) {
    page.state = state;
    document.body.dataset.state = state;
  }

  function say(lines, className) {
    message.className = className || "";
    message.replaceChildren(
      ...lines.map(([text, lineClass]) => {
        const p = document.createElement("p");
        p.textContent = text;
        if (lineClass) p.className = lineClass;
        return p;
      })
    );
  }

  function fail(text) {
    page.error = text;
    setState("error");
    say([[text]], "error");
    controls.textContent = "";
    fit();
  }

  // Whole multiples of the 640x600 picture in device pixels, as large as
  // the window allows beside the controls line, starting on a device pixel:
  // a picture placed between two would blend every cell's edge.
  function fit() {
    const ratio = window.devicePixelRatio || 1;
    let reserved = controls.getBoundingClientRect().height + 16;
    if (!benchOutput.hidden) reserved += benchOutput.getBoundingClientRect().height;
    const across = (window.innerWidth * ratio) / FrameWidth;
    const down = ((window.innerHeight - reserved) * ratio) / FrameHeight;
    const scale = Math.max(1, Math.floor(Math.min(across, down)));
    canvas.style.width = (FrameWidth * scale) / ratio + "px";
    canvas.style.height = (FrameHeight * scale) / ratio + "px";
    screen.style.left = screen.style.top = "0px";
    const { left, top } = canvas.getBoundingClientRect();
    const step = devicePixelStep(ratio);
    const onPixel = (at) => (step ? Math.round(at / step) * step : Math.round(at * ratio) / ratio);
    screen.style.left = onPixel(left) - left + "px";
    screen.style.top = onPixel(top) - top + "px";
  }

  // The fewest whole CSS pixels that are whole device pixels too (4 at a
  // ratio of 1.25, 2 at 1.5): a layout places those exactly, where a
  // fraction of a CSS pixel is rounded to its layout units. Null for a
  // ratio without one this small.
  function devicePixelStep(ratio) {
    for (let step = 1; step <= 64; ++step)
      if (Math.abs(step * ratio - Math.round(step * ratio)) < 1e-6) return step;
    return null;
  }
  window.addEventListener("resize", fit);

  function wholeNumber(name, low, high) {
    const text = new URLSearchParams(location.search).get(name);
    if (text === null) return null;
    if (!/^[0-9]+$/.test(text) || Number(text) < low || Number(text) > high)
      throw new Error(`?${name}= takes a whole number from ${low} to ${high}, not "${text}"`);
    return Number(text);
  }

  async function fetchBytes(name, what) {
    let response;
    try {
      response = await fetch(name, { cache: "no-cache" });
    } catch (error) {
      throw new Error(`Cannot load ${what} ${name}: ${error.message}`);
    }
    if (!response.ok)
      throw new Error(`Cannot load ${what} ${name}: ${response.status} ${response.statusText}`.trim() +
        `. The page needs ${dataFiles.join(", ") || "its data files"}, hazelglow.js and hazelglow.wasm beside it.`);
    return new Uint8Array(await response.arrayBuffer());
  }

  // Every instance reads the data files from its own file system.
  function withData(instance) {
    for (const [name, bytes] of dataBytes) instance.FS.writeFile("/" + name, bytes);
    return instance;
  }

  // Browsers run new code first as compiled in a hurry, then compile again,
  // optimised and in the background, what runs often. That code belongs to
  // the compiled module, so every instance is made from the one module
  // (instantiate): compiled from the bytes for each, an instance would start
  // on the hurried code again, and its first frame take 25 to 100 ms. Before any instance shows a frame, a throwaway one
  // renders the first frames and a few of every scene (out of order: the
  // pictures do not matter), so that the demo's first seconds do not stutter.
  const WarmUpFrames = 3;
  let warmedUp = null;
  let firstInstance = null; // the one that told the names; it warms up
  function warmUp() {
    warmedUp ??= Promise.resolve(firstInstance).then(withData).then((instance) => {
      if (instance._hgPrepareFrames()) return;
      const frames = instance._hgTimelineFrames();
      for (let first = 1; first <= frames; first += instance._hgSceneFrames())
        for (let n = first; n < first + WarmUpFrames * (first === 1 ? 10 : 1); ++n) {
          instance._hgRenderFrame(n, 0);
          instance._hgShowFrame(); // the cells to pixels too, put nowhere
        }
    }, () => {}); // a page that cannot make an instance says so when it makes the real one
    return warmedUp;
  }

  // Emscripten's hook for making the instance: from the page's one module.
  function instantiate(imports, receive) {
    WebAssembly.instantiate(wasmModule, imports).then(
      (instance) => receive(instance, wasmModule),
      (error) => fail(`The demo cannot start: hazelglow.wasm: ${error.message}`));
    return {};
  }

  async function newInstance() {
    await warmUp();
    return createHazelGlow({
      instantiateWasm: instantiate,
      showPicture(pixels) {
        picture.data.set(pixels);
        context2d.putImageData(picture, 0, 0);
      },
      frameShown,
      soundMissing,
      demoEnded: ended,
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    }).then(withData);
  }

  // The soundtrack's decode and the converter's tables, while the title shows.
  async function preparedInstance() {
    const instance = await newInstance();
    const problem = instance._hgPrepareDemo();
    if (problem) throw new Error(instance.UTF8ToString(problem));
    return instance;
  }

  function prepareNextRun() {
    preparedInstance().then((instance) => {
      next = instance;
      if (startWhenReady) start();
    }, (error) => fail(`The demo cannot start: ${error.message || error}`));
  }

  function offer(action) {
    say([[title, "title"], [`click or press a key to ${action}`]]);
    controls.textContent = `Click or press any key to ${action}; while the demo runs, any key or a click ends it.`;
    fit();
  }

  // The audio context is made as the page loads, so that its sound worklet
  // is ready by the click; browsers let it play only from a visitor's
  // gesture (audioContextForRun). Without one the demo plays silently.
  const sound = { context: null, feedReady: null, problem: null };
  function prepareSound() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) {
      sound.problem = "this browser has no Web Audio";
      return;
    }
    try {
      sound.context = new Context({ sampleRate: 44100 });
    } catch (error) {
      sound.problem = `no audio context at 44 100 Hz: ${error.message}`;
      return;
    }
    page.audioContext = sound.context;
    if (!sound.context.audioWorklet) {
      sound.problem = window.isSecureContext ? "this browser has no AudioWorklet"
        : "the page is not served securely (https or 127.0.0.1), which its sound needs";
      return;
    }
    sound.feedReady = sound.context.audioWorklet.addModule("sound_feed.js").then(() => true, (error) => {
      sound.problem = `the sound worklet would not load: ${error.message || error}`;
      return false;
    });
  }

  function audioContextForRun() {
    if (sound.context && sound.context.state === "suspended") sound.context.resume();
  }

  async function start() {
    audioContextForRun();
    if (!next) {
      startWhenReady = true;
      return;
    }
    startWhenReady = false;
    const instance = next;
    next = null;
    page.run = instance;
    page.frame = 0;
    page.shown = [];
    setState("running");
    soundNote.textContent = "";
    controls.textContent = "";
    instance.audioContext = sound.context;
    instance.soundFeedReady = sound.feedReady ? await sound.feedReady : false;
    instance.soundFeedProblem = sound.problem;
    const tick = hooks.startTick;
    instance._hgStartDemo(tick !== null ? 1 : 0, tick || 0);
  }

  function frameShown(t) {
    page.frame = t;
    const feed = page.run.audioFeed;
    const heard = feed ? feed.heard() : null;
    page.shown.push([t, performance.now(), heard === null ? null : heard / 44.1]);
  }

  // The engine's word on the sound, as the terminal demo prints it.
  function tellSound(report) {
    soundNote.textContent = report ? `hazelglow: ${report}` : "";
  }

  function soundMissing() {
    tellSound(page.run.UTF8ToString(page.run._hgSoundReport()));
  }

  // `sound`: the engine's word on the sound over the whole run.
  function ended(byKey, sound) {
    page.endedBy = byKey ? "key" : "soundtrack";
    page.endedAt = performance.now();
    page.heardAtEnd = page.run.audioFeed ? page.run.audioFeed.heard() : null;
    tellSound(sound);
    setState("ended");
    offer("play again");
    prepareNextRun();
  }

  function pressed(code) {
    if (page.state === "running") page.run._hgKeyPressed(code);
    else if (page.state === "ready" || page.state === "ended") start();
  }

  window.addEventListener("keydown", (event) => {
    if (event.repeat) return;
    pressed(event.key.length === 1 ? event.key.charCodeAt(0) : 0x100);
  });
  window.addEventListener("pointerdown", () => {
    if (page.state !== "running") return;
    swallowClick = true;
    page.run._hgKeyPressed(0x100);
  });
  // Starting waits for the click: a press is not yet a gesture that lets
  // a page start sound.
  window.addEventListener("click", (event) => {
    if (swallowClick) swallowClick = false;
    else if (page.state === "ready" || page.state === "ended") {
      page.clickedAt = event.timeStamp;
      start();
    }
  });

  const givePageBack = () => new Promise((resolve) => setTimeout(resolve, 0));

  // Frames 1..frames in order, giving the page back now and then.
  async function renderFrames(frames, eachFrame) {
    for (let n = 1; n <= frames; ++n) {
      eachFrame(n);
      if (n % FramesPerChunk === 0) await givePageBack();
    }
  }

  async function showFrame(frame) {
    const instance = await newInstance();
    const problem = instance._hgPrepareFrames();
    if (problem) throw new Error(instance.UTF8ToString(problem));
    setState("rendering");
    say([[`rendering frames 1 to ${frame}`]]);
    const tick = hooks.startTick || 0;
    await renderFrames(frame, (n) => instance._hgRenderFrame(n, tick));
    instance._hgShowFrame();
    say([]);
    setState("shown");
  }

  function percentile(sorted, share) {
    return sorted[Math.min(sorted.length - 1, Math.floor(share * sorted.length))];
  }

  async function runBench() {
    const instance = await newInstance();
    // A visitor clicks a while after the page has loaded; the optimising
    // compiler finishes the warm-up's code meanwhile. So here.
    await new Promise((resolve) => setTimeout(resolve, BenchSettle));
    const problem = instance._hgPrepareFrames();
    if (problem) throw new Error(instance.UTF8ToString(problem));
    setState("benchmarking");
    const frames = instance._hgTimelineFrames();
    const tick = hooks.startTick || 0;
    const costs = new Map(); // scene index (-1: after the last scene) -> frame costs in ms
    await renderFrames(frames, (n) => {
      const begin = performance.now();
      const scene = instance._hgRenderFrame(n, tick);
      instance._hgShowFrame();
      const cost = performance.now() - begin;
      if (!costs.has(scene)) costs.set(scene, []);
      costs.get(scene).push(cost);
      if (n % FramesPerChunk === 0) say([[`bench: frame ${n} of ${frames}`]]);
    });
    page.bench = [...costs.entries()]
      .sort(([a], [b]) => (a < 0) - (b < 0) || a - b)
      .map(([scene, list]) => {
        const sorted = list.slice().sort((a, b) => a - b);
        return {
          scene: scene >= 0 ? String(scene + 1) : "end",
          frames: sorted.length,
          medianMs: percentile(sorted, 0.5),
          p99Ms: percentile(sorted, 0.99),
          maxMs: sorted[sorted.length - 1],
        };
      });
    const column = (value, width) => String(value).padStart(width);
    benchOutput.textContent = [
      "scene frames median_ms p99_ms max_ms",
      ...page.bench.map((row) =>
        [column(row.scene, 5), column(row.frames, 6), column(row.medianMs.toFixed(2), 9),
          column(row.p99Ms.toFixed(2), 6), column(row.maxMs.toFixed(2), 6)].join(" ")),
    ].join("\n");
    benchOutput.hidden = false;
    say([]);
    setState("benchmarked");
    fit();
  }

  async function main() {
    fit();
    hooks.frame = wholeNumber("frame", 1, 1000000);
    hooks.startTick = wholeNumber("start-tick", 0, 4294967295);
    hooks.bench = new URLSearchParams(location.search).has("bench");
    if (window.hazelglowScriptMissing || typeof createHazelGlow !== "function")
      throw new Error("Cannot load hazelglow.js: it belongs beside this page.");
    const wasmBytes = await fetchBytes("hazelglow.wasm", "the demo's code");
    try {
      wasmModule = await WebAssembly.compile(wasmBytes);
    } catch (error) {
      throw new Error(`The demo cannot start: hazelglow.wasm: ${error.message}`);
    }
    firstInstance = await createHazelGlow({ instantiateWasm: instantiate, showPicture() {} });
    title = firstInstance.UTF8ToString(firstInstance._hgTitle());
    for (let i = 0, name; (name = firstInstance._hgDataFile(i)); ++i) dataFiles.push(firstInstance.UTF8ToString(name));
    const data = await Promise.all(dataFiles.map((name) => fetchBytes(name, "data file")));
    dataFiles.forEach((name, i) => dataBytes.set(name, data[i]));
    if (hooks.bench) return runBench();
    if (hooks.frame !== null) return showFrame(hooks.frame);
    prepareSound();
    next = await preparedInstance().catch((error) => {
      throw new Error(`The demo cannot start: ${error.message || error}`);
    });
    setState("ready");
    offer("start");
  }

  main().catch((error) => fail(error.message || String(error)));
})();
