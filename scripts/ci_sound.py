#!/usr/bin/env python3
"""Picture against sound as heard, through a running PipeWire with a null
sink (scripts/ci-sound.sh starts one). For each run: record the sink's
monitor with pw-record, run the demo in a pseudo-terminal, find where the
soundtrack's sample 0 is in the recording by cross-correlation with
`hazelglow-render --wav`, and compare with when each frame's bytes come
out of the terminal: frame t should appear when millisecond t is heard.

Times: a recorded frame is heard no later than the block holding it
reached the recorder (RecordingClock); frame n's time is the read of the
terminal that brought its n-th synchronized-update start (t = 40 n). Each
frame is compared with the stretch of the recording heard as it was
written, found in the mix, so a stop (the last run is stopped with SIGTSTP
and continued with SIGCONT), a server that skips or a recorder that loses
cycles on a loaded machine is measured, not assumed away.
"""
import argparse
import bisect
import os
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time
import wave

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_pty import DemoInPty  # noqa: E402

RATE = 44100
SYNC_BEGIN = b"\x1b[?2026h"


def load_wav_mono(path):
    with wave.open(path) as w:
        assert w.getframerate() == RATE and w.getnchannels() == 2 and w.getsampwidth() == 2
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
    return data.reshape(-1, 2).mean(axis=1)


def locate(recording, reference, ref_start, ref_length, search_from=0, search_to=None):
    """Index in recording[search_from:search_to] where reference[ref_start:+ref_length]
    matches best, and the correlation coefficient there."""
    template = reference[ref_start:ref_start + ref_length]
    segment = recording[search_from:search_to]
    if len(segment) < len(template):
        return None, 0.0
    size = 1 << int(np.ceil(np.log2(len(segment) + len(template))))
    corr = np.fft.irfft(np.fft.rfft(segment, size) * np.conj(np.fft.rfft(template, size)), size)
    corr = corr[:len(segment) - len(template) + 1]
    # Normalise by the segment's energy under the template at each lag.
    running = np.concatenate(([0.0], np.cumsum(segment ** 2)))
    energy = running[len(template):] - running[:len(running) - len(template)]
    score = corr / np.sqrt(np.maximum(energy, 1e-9) * np.sum(template ** 2))
    lag = int(np.argmax(score))
    return search_from + lag, float(score[lag])


WINDOW = RATE // 5  # 200 ms stretches
STEP = RATE // 10


def follow(recording, reference, zero):
    """(recording index, mix index) of each stretch of the recording found
    in the mix, from the one where sample 0 is (`zero`) on, each looked for
    near where the one before it was."""
    spans = []
    expected = -zero  # mix index minus recording index
    for start in range(max(0, zero), len(recording) - WINDOW, STEP):
        stretch = recording[start:start + WINDOW]
        if np.max(np.abs(stretch)) < 50:
            continue  # silence places nothing
        # Nearest first: the music repeats itself, a far match may be a
        # bar that sounds the same. A stop puts the mix behind by its length.
        for behind, ahead in ((RATE // 20, RATE // 20), (RATE, RATE), (8 * RATE, RATE)):
            lo = max(0, start + expected - behind)
            hi = min(len(reference), start + expected + ahead + WINDOW)
            where, score = locate(reference, stretch, 0, WINDOW, lo, hi)
            if where is not None and score > 0.98:
                spans.append((start, where))
                expected = where - start
                break
    return spans


def heard_at(spans, index):
    """The mix index heard at recording index `index`, from the stretch that
    holds it (both ends of a stretch agreeing), or None."""
    k = bisect.bisect_right([s for s, _ in spans], index) - 1
    if k < 0 or index - spans[k][0] >= STEP or k + 1 >= len(spans):
        return None
    start, where = spans[k]
    following, where_next = spans[k + 1]
    if where_next - following != where - start:
        return None  # the sound jumped in between
    return where + (index - start)


class Recorder:
    """pw-record of the null sink's monitor to a pipe; notes when each block
    arrives, on `clock` (time.monotonic, or time.time to compare with a
    browser's clock)."""

    def __init__(self, sink, clock=time.monotonic):
        self.process = subprocess.Popen(
            ["pw-record", "--target", sink, "-P", "{ stream.capture.sink=true }", "--rate", str(RATE),
             "--channels", "2", "--format", "s16", "--latency", "256", "-"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        self.chunks = []
        self.arrivals = []  # (monotonic s, frames so far)
        self.frames = 0
        self.clock = clock
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        pending = b""
        while True:
            data = self.process.stdout.read(4096)
            now = self.clock()
            if not data:
                break
            pending += data
            usable = len(pending) - len(pending) % 4
            self.chunks.append(pending[:usable])
            pending = pending[usable:]
            self.frames += usable // 4
            self.arrivals.append((now, self.frames))

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.thread.join(timeout=5)
        samples = np.frombuffer(b"".join(self.chunks), dtype="<i2").astype(np.float64)
        mono = samples.reshape(-1, 2).mean(axis=1)
        return mono, RecordingClock(self.arrivals)


class RecordingClock:
    """When each recorded frame was heard. A block arrives after its last
    frame entered the monitor, never before; so frame f was heard no later
    than any block that holds it or follows it arrived, less the frames in
    between. The least of those over the next half second is taken: a
    recorder that missed cycles (a loaded machine) loses frames, and blocks
    after the loss must not place frames before it."""

    def __init__(self, arrivals):
        self.times = np.array([t for t, _ in arrivals])
        self.ends = np.array([n for _, n in arrivals], dtype=np.float64)

    def time_of(self, frame):
        k = np.searchsorted(self.ends, frame)
        j = np.searchsorted(self.ends, frame + RATE // 2)
        if k >= len(self.ends):
            return None
        j = max(j, k + 1)
        return float(np.min(self.times[k:j] - (self.ends[k:j] - frame) / RATE))

    def frame_at(self, moment, around):
        """The recorded frame heard at `moment`, near frame `around`."""
        heard = self.time_of(around)
        return None if heard is None else around + (moment - heard) * RATE


def start_recorder(sink, clock=time.monotonic):
    """A Recorder that has begun to record (a quarter second within 5 s)."""
    recorder = Recorder(sink, clock=clock)
    deadline = time.monotonic() + 5
    while recorder.frames < RATE // 4 and time.monotonic() < deadline:
        time.sleep(0.05)
    if recorder.frames == 0:
        recorder.stop()
        raise RuntimeError("pw-record gave no sound from the sink's monitor")
    return recorder


def run_once(demo_binary, data_dir, sink, seconds, stop_at, stop_for, frame_log=None):
    recorder = start_recorder(sink)
    env = dict(os.environ, TERM="xterm-256color")
    env.pop("HAZELGLOW_FRAME_LOG", None)
    if frame_log:
        env["HAZELGLOW_FRAME_LOG"] = frame_log
    demo = DemoInPty([demo_binary], env, cwd=data_dir)
    started = time.monotonic()
    frame_times = []
    stopped = continued = None
    tail = b""
    quit_sent = False
    while True:
        now = time.monotonic()
        if stop_at is not None and stopped is None and now - started >= stop_at:
            os.kill(demo.pid, signal.SIGTSTP)
            stopped = now
        if stopped is not None and continued is None and now - stopped >= stop_for:
            os.kill(demo.pid, signal.SIGCONT)
            continued = time.monotonic()
        if not quit_sent and now - started >= seconds:
            os.write(demo.master, b"q")
            quit_sent = True
        readable, _, _ = select.select([demo.master], [], [], 0.01)
        if readable:
            try:
                data = os.read(demo.master, 1 << 16)
            except OSError:
                data = b""
            arrived = time.monotonic()
            joined = tail + data
            count = joined.count(SYNC_BEGIN) - tail.count(SYNC_BEGIN)
            frame_times.extend([arrived] * count)
            tail = joined[-(len(SYNC_BEGIN) - 1):]
        ended = demo.reap(block=False)
        if ended:
            break
    os.close(demo.master)
    time.sleep(0.5)
    recording, clock = recorder.stop()
    return frame_times, recording, clock, stopped, continued, ended[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of hazelglow, hazelglow-render and the data files")
    parser.add_argument("--demo", default=None, help="the demo to measure (default: hazelglow in --bin)")
    parser.add_argument("--sink", default="hazelglow-null")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--stop-for", type=float, default=5.0)
    parser.add_argument("--median-limit", type=float, default=20.0)
    parser.add_argument("--worst-limit", type=float, default=45.0)
    parser.add_argument("--keep", default=None, help="save each run's recording (mono float32) with this prefix")
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    args.demo = args.demo and os.path.abspath(args.demo)

    with tempfile.TemporaryDirectory(prefix="hazelglow-sound-") as work:
        ref_path = os.path.join(work, "mix.wav")
        subprocess.run([os.path.join(args.bin, "hazelglow-render"), "--data", args.bin, "--wav", ref_path],
                       check=True, stdout=subprocess.DEVNULL)
        reference = load_wav_mono(ref_path)
    # The first stretch with sound in it: the fade-in starts near silence.
    loud = np.nonzero(np.abs(reference) > 200)[0]
    template_start = int(loud[0]) if len(loud) else 0
    template_length = RATE

    failures = []
    all_offsets = []
    for run in range(args.runs):
        stop_at = 0.6 * args.seconds if run == args.runs - 1 else None
        seconds = args.seconds + (args.stop_for if stop_at is not None else 0)
        frames, recording, clock, stopped, continued, status = run_once(
            args.demo or os.path.join(args.bin, "hazelglow"), args.bin, args.sink, seconds, stop_at, args.stop_for,
            f"{args.keep}{run + 1}-frames.log" if args.keep else None)
        if status != 0:
            failures.append(f"run {run + 1}: the demo ended with status {status}")
        if args.keep:
            np.save(f"{args.keep}{run + 1}.npy", recording.astype(np.float32))
            np.save(f"{args.keep}{run + 1}-frames.npy", np.array(frames))
            np.save(f"{args.keep}{run + 1}-arrivals.npy", np.array([clock.times, clock.ends]))
        # A stretch the recorder lost a cycle in matches poorly: try the next.
        for later in range(0, 5 * RATE, RATE // 2):
            at, score = locate(recording, reference, template_start + later, template_length)
            if at is not None and score > 0.98:
                at -= later
                break
        if at is None or score < 0.9:
            failures.append(f"run {run + 1}: the soundtrack was not found in the recording (correlation {score:.3f})")
            continue
        heard_zero = clock.time_of(at - template_start)
        # Where in the mix each stretch of the recording is, stretch by
        # stretch from the first: the sound may have stood still (the stop)
        # or jumped (a server dropping what it held), and each frame is
        # compared with what was heard when it was written.
        spans = follow(recording, reference, at - template_start)
        offsets_before, offsets_after, unplaced = [], [], 0
        # A first guess of each frame's place in the recording, refined near it.
        rough = (at - template_start) + (np.array(frames) - heard_zero) * RATE
        for n, written in enumerate(frames, start=1):
            index = clock.frame_at(written, max(0.0, rough[n - 1]))
            heard = None if index is None else heard_at(spans, index)
            if heard is None:
                unplaced += 1
                continue
            offset = 1000 * heard / RATE - 40 * n  # > 0: the picture is late
            after = continued is not None and written >= continued
            (offsets_after if after else offsets_before).append(offset)
        offsets = offsets_before + offsets_after
        if not offsets:
            failures.append(f"run {run + 1}: no frames seen")
            continue
        all_offsets.extend(offsets)
        median = float(np.median(np.abs(offsets)))
        worst = float(np.max(np.abs(offsets)))
        first = 1000 * (frames[0] - heard_zero) - 40 if frames else float("nan")
        print(f"run {run + 1}: {len(offsets)} frames placed ({unplaced} in silence), correlation {score:.4f};"
              f" frame t against millisecond t heard: first {first:+.1f} ms, median {np.median(offsets):+.1f} ms,"
              f" |median| {median:.1f} ms, worst {worst:.1f} ms")
        if offsets_after:
            print(f"        after a {args.stop_for:.0f} s stop: {len(offsets_after)} frames, first {offsets_after[0]:+.1f} ms,"
                  f" median {np.median(offsets_after):+.1f} ms, worst {np.max(np.abs(offsets_after)):.1f} ms")
        elif stopped is not None:
            failures.append(f"run {run + 1}: no frame placed after the stop")
        if median > args.median_limit:
            failures.append(f"run {run + 1}: median |offset| {median:.1f} ms > {args.median_limit} ms")
        if worst > args.worst_limit:
            failures.append(f"run {run + 1}: worst |offset| {worst:.1f} ms > {args.worst_limit} ms")
    for failure in failures:
        print("FAIL " + failure)
    if not failures:
        print(f"PASS picture and sound in step over {args.runs} runs ({len(all_offsets)} frames):"
              f" median |offset| {np.median(np.abs(all_offsets)):.1f} ms, worst {np.max(np.abs(all_offsets)):.1f} ms")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
