// Runs in the page before its scripts (page.evaluateOnNewDocument): times
// every animation callback (window.hazelglowCallbacks.longest, ms) and, with
// `hz` > 0, gives the page its animation callbacks at that rate instead of
// the display's, as a 120 or 144 Hz display would.
export function callbackTimer(hz) {
  const record = { longest: 0, count: 0, long: [] }; // long: [when, ms] of callbacks over 10 ms
  window.hazelglowCallbacks = record;
  const native = window.requestAnimationFrame.bind(window);
  const pending = new Map();
  let nextId = 1;
  let timer = null;
  const period = hz > 0 ? 1000 / hz : 0;
  let due = 0;
  function runAll(timestamp) {
    const callbacks = [...pending.values()];
    pending.clear();
    for (const callback of callbacks) {
      const begin = performance.now();
      callback(timestamp);
      const took = performance.now() - begin;
      record.longest = Math.max(record.longest, took);
      if (took > 10 && record.long.length < 100) record.long.push([begin, took]);
      record.count++;
    }
  }
  function tick() {
    timer = null;
    runAll(performance.now());
    if (pending.size > 0) schedule();
  }
  function schedule() {
    if (timer !== null) return;
    const now = performance.now();
    due = Math.max(due + period, now);
    timer = setTimeout(tick, due - now);
  }
  window.requestAnimationFrame = (callback) => {
    const id = nextId++;
    pending.set(id, callback);
    if (period > 0) schedule();
    else if (pending.size === 1) native(runAll);
    return id;
  };
  window.cancelAnimationFrame = (id) => pending.delete(id);
}
