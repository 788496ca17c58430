#!/usr/bin/env python3
"""The live demo on a terminal that takes its bytes slowly, measured from outside.

Runs build/<preset>/bin/hazelglow in a pseudo-terminal (100x55 cells) whose
other end is read at most --rate bytes per second (what a link of 8 x rate
bit/s delivers; 0: as fast as the demo writes), for the whole run or the
first --seconds (on a machine without a sound device the demo plays to its
silent output, which keeps the soundtrack's clock). The demo's frame log
(HAZELGLOW_FRAME_LOG) gives each frame's t and the moment it is due; its
sent log (HAZELGLOW_SENT_LOG) says which frames were sent, in order. A frame
is shown when the reader here has read its last byte (the end of its
synchronized update). Prints frames drawn and shown, bytes per second, how
long after its moment each shown frame was shown (median, p99, max), the same
less its own bytes' time on the link, and the t of the last frame shown.

  bench/slow_terminal.py --rate 40000
  COLORTERM=truecolor bench/slow_terminal.py --rate 125000
  bench/slow_terminal.py --rate 0
"""
import argparse
import os
import select
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from demo_pty import DemoInPty, percentile  # noqa: E402

FRAME_END = b"\x1b[?25l\x1b[?2026l"  # the last bytes of every frame (cursor hidden, update ends)


def run(args, frame_log, sent_log):
    env = dict(os.environ, HAZELGLOW_FRAME_LOG=frame_log, HAZELGLOW_SENT_LOG=sent_log,
               TERM=os.environ.get("TERM", "xterm-256color"))
    demo = DemoInPty([args.binary], env, cwd=args.data)
    started = time.monotonic_ns()
    taken = 0  # bytes read so far
    ends = []  # when each frame's last byte was read (monotonic ns)
    tail = b""  # the end of what was read, for a FRAME_END cut between reads
    quit_sent = False
    ended = None
    while ended is None:
        now = time.monotonic_ns()
        if args.seconds and now - started >= args.seconds * 1e9 and not quit_sent:
            os.write(demo.master, b"q")
            quit_sent = True
        want = 1 << 16
        if args.rate > 0:
            # A token bucket: never ahead of rate x elapsed, at most 10 ms of bytes at once.
            allowed = int(args.rate * (now - started) / 1e9) - taken
            want = min(want, allowed, max(1, args.rate // 100))
        if want <= 0:
            time.sleep(min(0.005, -want / args.rate if args.rate else 0.005) or 0.001)
            ended = demo.reap(block=False)
            continue
        readable, _, _ = select.select([demo.master], [], [], 0.005)
        if readable:
            try:
                chunk = os.read(demo.master, want)
            except OSError:
                chunk = b""
            if chunk:
                at = time.monotonic_ns()
                taken += len(chunk)
                data = tail + chunk
                start = 0
                while True:
                    found = data.find(FRAME_END, start)
                    if found < 0:
                        break
                    ends.append(at)
                    start = found + len(FRAME_END)
                tail = data[max(start, len(data) - len(FRAME_END) + 1):]
        ended = demo.reap(block=False)
    wall = (time.monotonic_ns() - started) / 1e9
    os.close(demo.master)
    return wall, ended[0], taken, ends


def read_log(path):
    with open(path) as f:
        lines = [line.split() for line in f]
    os.unlink(path)
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rate", type=int, default=40000, help="bytes per second the terminal takes (0: unlimited)")
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "release", "bin", "hazelglow"))
    parser.add_argument("--data", default=None, help="folder to run the demo in")
    parser.add_argument("--seconds", type=float, default=0, help="end the run after this long (0: whole run)")
    args = parser.parse_args()
    if not os.access(args.binary, os.X_OK):
        sys.exit(f"slow_terminal: no demo at {args.binary} (build it first)")

    paths = []
    for prefix in ("hazelglow-frames-", "hazelglow-sent-"):
        f = tempfile.NamedTemporaryFile(prefix=prefix, suffix=".log", delete=False)
        f.close()
        paths.append(f.name)
    wall, status, taken, ends = run(args, *paths)
    log = [f for f in read_log(paths[0]) if f and f[0] == "frame"]
    frames = [(int(f[1]), int(f[2]) - int(f[3])) for f in log]  # t, the moment it is due
    starts = [int(f[3]) / 1e6 for f in log[1:]]  # how long after its tick each frame started
    sent = [(int(f[1]), int(f[2])) for f in read_log(paths[1]) if f and f[0] == "sent"]

    colours = os.environ.get("COLORTERM", "") or "16 colours"
    rate = f"{args.rate} B/s" if args.rate else "unlimited"
    print(f"slow terminal: {args.binary}, 100x55, read at {rate}, {colours}")
    print(f"  wall {wall:.2f} s, exit status {status}, frames drawn {len(frames)}, sent {len(sent)},"
          f" shown {len(ends)}")
    print(f"  bytes {taken} ({taken / wall:.0f} B/s over the run),"
          f" {sum(b for _, b in sent) / max(1, len(sent)):.0f} per frame sent")
    if starts:
        print(f"  frame start after its tick (ms): median {percentile(starts, 0.5):.3f},"
              f" p99 {percentile(starts, 0.99):.3f}, max {max(starts):.3f}")
    if len(ends) != len(sent):
        print(f"  (frames read {len(ends)} and frames sent {len(sent)} differ: the run was cut short)")
    shown = []  # (t, ms after its moment, ms after its moment less its bytes' time)
    for (number, size), end in zip(sent, ends):
        if not 1 <= number <= len(frames):
            continue
        t, moment = frames[number - 1]
        late = (end - moment) / 1e6
        own = size / args.rate * 1e3 if args.rate else 0.0
        shown.append((t, late, late - own))
    if not shown:
        return
    late = [s[1] for s in shown]
    excess = [s[2] for s in shown]
    print(f"  shown after its moment (ms): median {percentile(late, 0.5):.1f}, p99 {percentile(late, 0.99):.1f},"
          f" max {max(late):.1f}")
    if args.rate:
        print(f"  the same less its own bytes' time at {args.rate} B/s (ms): median {percentile(excess, 0.5):.1f},"
              f" p99 {percentile(excess, 0.99):.1f}, max {max(excess):.1f}")
    print(f"  last frame shown: t = {shown[-1][0]} ms; frames shown per second of timeline:"
          f" {len(shown) / (frames[-1][0] / 1000):.1f}")


if __name__ == "__main__":
    main()
