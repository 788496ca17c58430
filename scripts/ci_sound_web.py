#!/usr/bin/env python3
"""The page's picture against its sound as a visitor hears it, through a
running PipeWire with a null sink (scripts/ci-web-sound.sh starts one). For
each browser: record the sink's monitor with pw-record while
web/tests/heard.mjs plays the page out loud into the server, find the
soundtrack in the recording by cross-correlation with `hazelglow-render
--wav` (as scripts/ci_sound.py does for the terminal), and check that

- the soundtrack is heard from its start: the mix's first second with
  sound in it is in the recording, and every stretch after it follows the
  one before without a jump (nothing lost, nothing played twice);
- frame t goes onto the canvas when millisecond t is heard: within 20 ms
  median and 45 ms worst, from the first frame on.

A frame's moment is the page's own clock at the canvas update (its
window.hazelglow.shown), on the system clock; a recorded sample's moment is
when the block holding it reached the recorder (RecordingClock). A browser
that does not play into the server (its audio context never runs) is said
so, with the page's reason: NOT CHECKED, never a pass.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ci_sound import RATE, WINDOW, follow, heard_at, load_wav_mono, locate, start_recorder  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run_page(browser, seconds, sink):
    recorder = start_recorder(sink, clock=time.time)
    env = dict(os.environ)
    env["NODE_PATH"] = ":".join(filter(None, ["/usr/share/nodejs", env.get("NODE_PATH")]))
    page = subprocess.run(["node", os.path.join(ROOT, "web/tests/heard.mjs"), f"--browser={browser}", str(int(seconds))],
                          env=env, capture_output=True, text=True, timeout=seconds + 180)
    time.sleep(0.5)
    recording, clock = recorder.stop()
    if page.returncode != 0:
        raise RuntimeError(f"web/tests/heard.mjs ended with status {page.returncode}: {page.stderr.strip()[-500:]}")
    return json.loads(page.stdout.strip().splitlines()[-1]), recording, clock


def check(browser, result, recording, clock, reference, args):
    """Prints the figures; returns the failures, or None when not checked."""
    audio = result["audio"]
    print(f"{browser}: {result['browser']}, sound {audio['output']}, context {audio['contextState']},"
          f" baseLatency {result['latency'][0]} s, outputLatency {result['latency'][1]} s")
    if audio["output"] != "worklet":
        print(f"NOT CHECKED {browser}: the page played on its silent clock: {result['sound'] or audio['silentReason']}")
        return None
    failures = []
    loud = np.nonzero(np.abs(reference) > 200)[0]
    first_sound = int(loud[0]) if len(loud) else 0
    # The first second with sound in it, where the recording holds it.
    at, score = locate(recording, reference, first_sound, RATE)
    if at is None or score < 0.98:
        return [f"{browser}: the soundtrack's first second with sound (from its millisecond"
                f" {1000 * first_sound / RATE:.0f}) is not in the recording (correlation {score:.3f})"]
    zero = at - first_sound  # the recording's index of the soundtrack's sample 0
    spans = follow(recording, reference, zero)
    jumps = [(s, w, s2, w2) for (s, w), (s2, w2) in zip(spans, spans[1:]) if w2 - s2 != w - s]
    heard_to = spans[-1][1] + WINDOW if spans else 0
    print(f"  soundtrack heard from its sample 0 at the recording's {zero / RATE:.3f} s (correlation {score:.4f})"
          f" to its {heard_to / RATE:.1f} s, in {len(spans)} stretches, {len(jumps)} jumps")
    if not spans or spans[0][1] > first_sound + WINDOW:
        failures.append(f"{browser}: the recording does not begin with the soundtrack's first sound")
    recorder_lost = 0
    for s, w, s2, w2 in jumps:
        jump = (w2 - s2) - (w - s)
        # Frames the recorder lost in between (a loaded machine): the
        # recording's blocks arrived later than its frames account for. The
        # page never skips ahead (its worklet plays every block it is given;
        # running short is heard as a gap, a jump back), so a skip ahead the
        # recorder's own loss covers is the recorder's, however its block
        # times jitter.
        lost = (clock.time_of(s2) - clock.time_of(s)) * RATE - (s2 - s)
        tolerance = RATE // 1000 * 2
        if abs(lost - jump) < tolerance or 0 < jump <= lost + tolerance:
            recorder_lost += jump
            continue
        failures.append(f"{browser}: the sound jumped by {1000 * jump / RATE:+.1f} ms"
                        f" at the recording's {s2 / RATE:.2f} s (its millisecond {1000 * w2 / RATE:.0f});"
                        f" the recorder lost {1000 * lost / RATE:.1f} ms there")
    if recorder_lost:
        print(f"  of those, the recorder lost {1000 * recorder_lost / RATE:.1f} ms (not the page's)")

    heard_zero = clock.time_of(zero)
    print(f"  click to the first sample heard: {1000 * (heard_zero - result['clickedAt'] / 1000):.0f} ms,"
          f" to the first frame: {result['frames'][0][1] - result['clickedAt']:.0f} ms" if result["frames"] else "")
    offsets, account, unplaced = [], [], 0
    for t, when, page_heard in result["frames"]:
        written = when / 1000
        rough = zero + (written - heard_zero) * RATE
        index = clock.frame_at(written, max(0.0, rough))
        heard = None if index is None else heard_at(spans, index)
        if heard is None:
            unplaced += 1
            continue
        offsets.append(1000 * heard / RATE - t)  # > 0: the picture is late
        if page_heard is not None:
            account.append(page_heard - 1000 * heard / RATE)
    if not offsets:
        return failures + [f"{browser}: no frame placed against the recording"]
    median = float(np.median(np.abs(offsets)))
    worst = float(np.max(np.abs(offsets)))
    print(f"  {len(offsets)} frames placed ({unplaced} not): frame t against millisecond t heard:"
          f" first {offsets[0]:+.1f} ms, median {np.median(offsets):+.1f} ms, p95 |offset|"
          f" {np.percentile(np.abs(offsets), 95):.1f} ms, worst {worst:.1f} ms")
    if account:
        print(f"  the page's own account of what is heard, less the recording's: median {np.median(account):+.1f} ms,"
              f" worst {account[int(np.argmax(np.abs(account)))]:+.1f} ms")
    print(f"  sound gaps the worklet counted: {audio['gaps']}")
    if median > args.median_limit:
        failures.append(f"{browser}: median |offset| {median:.1f} ms > {args.median_limit} ms")
    if worst > args.worst_limit:
        failures.append(f"{browser}: worst |offset| {worst:.1f} ms > {args.worst_limit} ms")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of hazelglow-render and the data files")
    parser.add_argument("--browsers", default="chromium,firefox")
    parser.add_argument("--sink", default="hazelglow-null")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--median-limit", type=float, default=20.0)
    parser.add_argument("--worst-limit", type=float, default=45.0)
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)

    with tempfile.TemporaryDirectory(prefix="hazelglow-sound-") as work:
        ref_path = os.path.join(work, "mix.wav")
        subprocess.run([os.path.join(args.bin, "hazelglow-render"), "--data", args.bin, "--wav", ref_path],
                       check=True, stdout=subprocess.DEVNULL)
        reference = load_wav_mono(ref_path)

    failures, checked = [], []
    for browser in filter(None, args.browsers.split(",")):
        # A loaded machine can hold the recorder or a browser's start-up
        # back for a moment (a recorder block late by 40 ms, a browser that
        # never comes up): a browser has two runs, and fails only when both
        # do. The faults this looks for (a lost start, a page late by a
        # quarter second) fail every run.
        for attempt in (1, 2):
            try:
                result, recording, clock = run_page(browser, args.seconds, args.sink)
            except subprocess.TimeoutExpired as timeout:
                found = [f"{browser}: web/tests/heard.mjs did not end within {timeout.timeout:.0f} s"]
                print(f"  run {attempt}: " + found[0])
            else:
                found = check(browser, result, recording, clock, reference, args)
            if not found or attempt == 2:
                break
            print(f"  run {attempt} of {browser} failed ({'; '.join(found)}); once more")
        if found is not None:
            checked.append(browser)
            failures.extend(found)
    for failure in failures:
        print("FAIL " + failure)
    if not checked:
        print("SKIP ci-web-sound: no browser played into the sound server (the page's sound was NOT checked)")
        return 0
    if not failures:
        print(f"PASS the page heard whole and in step in {', '.join(checked)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
