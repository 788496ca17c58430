#!/usr/bin/env python3
"""The live demo's cost and pacing, measured from outside.

Runs build/<preset>/bin/hazelglow in a pseudo-terminal (100x55 cells) for
the whole run or the first --seconds, with HAZELGLOW_FRAME_LOG set so the
demo records when each frame started. Prints the CPU it used per second of
wall time (getrusage of the child: user + system) and a histogram of how
late each frame started after its tick passed, with p50, p99 and max.

  bench/live_demo.py [--seconds N] [--binary PATH] [--data DIR] [--stop-at S --stop-for D]
                     [--probe S]

--data runs the demo in DIR, so the data files there are used (for example
a shorter soundtrack).

--stop-at/--stop-for stop the demo with SIGTSTP after S seconds and
continue it D seconds later (as Ctrl+Z and fg would); the run then also
prints how long it lasted against the soundtrack's length.

--probe S, after the run, spins for S seconds on one thread that never
sleeps and prints the pauses over 1 ms in which the system did not switch
to another thread (no involuntary switch): time taken by interrupts or, on
a virtual machine, by its host. A frame whose tick falls in such a pause starts that much late
whatever the demo's wait does, so the max above is read against it.
"""
import argparse
import os
import resource
import select
import signal
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from demo_pty import DemoInPty, percentile  # noqa: E402


def run(args):
    log = tempfile.NamedTemporaryFile(prefix="hazelglow-frames-", suffix=".log", delete=False)
    log.close()
    env = dict(os.environ, HAZELGLOW_FRAME_LOG=log.name, TERM=os.environ.get("TERM", "xterm-256color"))
    demo = DemoInPty([args.binary], env, cwd=args.data)
    started = time.monotonic()
    stopped_at = None
    continued = False
    quit_sent = False
    while True:
        now = time.monotonic() - started
        if args.seconds and now >= args.seconds and not quit_sent:
            os.write(demo.master, b"q")  # any key ends the demo after that frame
            quit_sent = True
        if args.stop_at is not None and stopped_at is None and now >= args.stop_at:
            os.kill(demo.pid, signal.SIGTSTP)
            stopped_at = now
        if stopped_at is not None and not continued and now >= stopped_at + args.stop_for:
            os.kill(demo.pid, signal.SIGCONT)
            continued = True
        readable, _, _ = select.select([demo.master], [], [], 0.05)
        if readable:
            try:
                os.read(demo.master, 1 << 16)
            except OSError:
                pass
        ended = demo.reap(block=False)
        if ended:
            break
    wall = time.monotonic() - started
    os.close(demo.master)
    with open(log.name) as f:
        lines = [line.split() for line in f]
    os.unlink(log.name)
    return wall, ended[1], ended[0], lines


def probe_pauses(seconds):
    """Every stretch over 1 ms in which a spinning thread did not run while
    its count of involuntary switches stayed the same, in ms."""
    pauses = []
    end = time.monotonic_ns() + int(seconds * 1e9)
    before = time.monotonic_ns()
    switches = resource.getrusage(resource.RUSAGE_THREAD).ru_nivcsw
    while before < end:
        now_switches = resource.getrusage(resource.RUSAGE_THREAD).ru_nivcsw
        now = time.monotonic_ns()
        if now - before > 1_000_000 and now_switches == switches:
            pauses.append((now - before) / 1e6)
        before, switches = now, now_switches
    return pauses


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "release", "bin", "hazelglow"))
    parser.add_argument("--data", default=None, help="folder to run the demo in")
    parser.add_argument("--seconds", type=float, default=0, help="end the run after this long (0: whole run)")
    parser.add_argument("--stop-at", type=float, default=None)
    parser.add_argument("--stop-for", type=float, default=5.0)
    parser.add_argument("--probe", type=float, default=0, help="after the run, look for the machine's own pauses this long")
    args = parser.parse_args()
    if not os.access(args.binary, os.X_OK):
        sys.exit(f"live_demo: no demo at {args.binary} (build it first)")

    wall, usage, status, lines = run(args)
    frames = []
    shifts = []
    moved = set()  # frames that came just after the sound moved the clock
    for f in lines:
        if f and f[0] == "frame":
            frames.append((int(f[1]), int(f[2]), int(f[3])))
        elif f and f[0] == "shift":
            shifts.append((int(f[1]), int(f[2])))
            moved.add(len(frames))
    cpu = usage.ru_utime + usage.ru_stime
    print(f"live demo: {args.binary}")
    print(f"  wall {wall:.2f} s, exit status {status}, frames {len(frames)}"
          f" (last t = {frames[-1][0] if frames else 0} ms)")
    print(f"  CPU  {cpu:.2f} s (user {usage.ru_utime:.2f} + system {usage.ru_stime:.2f}):"
          f" {cpu / wall:.3f} core on average")
    if args.stop_at is not None:
        print(f"  stopped {args.stop_for:.1f} s at {args.stop_at:.1f} s")
    print("  clock moves by the sound: " + (", ".join(f"{m:+d} ms" for m, _ in shifts) or "none"))
    # A frame after a stop starts late by the stop itself; those are not pacing.
    late_ms = [late / 1e6 for _, _, late in frames[1:] if late < 1e9]
    if not late_ms:
        return
    edges = [0.1, 0.25, 0.5, 1.0, 2.0, 3.0, 5.0, 10.0]
    counts = [0] * (len(edges) + 1)
    for value in late_ms:
        counts[next((i for i, edge in enumerate(edges) if value < edge), len(edges))] += 1
    print(f"  frame start after its tick (ms), {len(late_ms)} frames (the first and any after a stop left out):")
    lower = 0.0
    for i, count in enumerate(counts):
        label = f"{lower:5.2f} - {edges[i]:5.2f}" if i < len(edges) else f"{lower:5.2f} -      "
        bar = "#" * (0 if count == 0 else max(1, round(60 * count / len(late_ms))))
        print(f"    {label} {count:6d} {bar}")
        if i < len(edges):
            lower = edges[i]
    print(f"  p50 {percentile(late_ms, 0.5):.3f} ms, p99 {percentile(late_ms, 0.99):.3f} ms,"
          f" max {max(late_ms):.3f} ms")
    # The latest starts, to tell a slow wake-up from a move of the clock.
    latest = sorted(((late, i) for i, (_, _, late) in enumerate(frames) if i > 0 and late < 1e9), reverse=True)[:5]
    print("  latest: " + ", ".join(f"t={frames[i][0]} {late / 1e6:.2f} ms" + (" (clock moved)" if i in moved else "")
                                   for late, i in latest))
    if args.probe > 0:
        pauses = probe_pauses(args.probe)
        over3 = sum(1 for p in pauses if p > 3.0)
        print(f"  machine's pauses, {args.probe:.0f} s of a thread that never sleeps: {len(pauses)} over 1 ms,"
              f" {over3} over 3 ms, longest {max(pauses, default=0.0):.3f} ms")


if __name__ == "__main__":
    main()
