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
The terminal here answers the demo's status query (CSI 5 n) when it has
read it, as a real one does once it has processed what came before
(--no-answers: one that never answers); --worst N lists the N latest
frames; --pause S:MS (again for more) stops reading for MS milliseconds at
second S, as a terminal does that is busy elsewhere for a moment.

  bench/slow_terminal.py --rate 40000
  COLORTERM=truecolor bench/slow_terminal.py --rate 125000
  bench/slow_terminal.py --rate 0
  bench/slow_terminal.py --rate 40000 --no-answers --seconds 30 --worst 10
  bench/slow_terminal.py --rate 40000 --pause 30:150 --pause 90:300
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
STATUS_QUERY = b"\x1b[5n"  # answered once everything before it is read
STATUS_ANSWER = b"\x1b[0n"
ATTRIBUTES_QUERY = b"\x1b[c"  # set-up's last question about the cells
ATTRIBUTES_ANSWER = b"\x1b[?62c"  # a VT220, without the window operations


class Finder:
    """Counts a pattern in a stream read in pieces, across their edges."""

    def __init__(self, pattern):
        self.pattern = pattern
        self.tail = b""

    def count(self, chunk):
        data = self.tail + chunk
        found = data.count(self.pattern)
        last = data.rfind(self.pattern)
        keep_from = max(last + len(self.pattern) if last >= 0 else 0, len(data) - len(self.pattern) + 1)
        self.tail = data[keep_from:]
        return found


def run(args, frame_log, sent_log):
    env = dict(os.environ, HAZELGLOW_FRAME_LOG=frame_log, HAZELGLOW_SENT_LOG=sent_log,
               TERM=os.environ.get("TERM", "xterm-256color"))
    demo = DemoInPty([args.binary], env, cwd=args.data)
    started = time.monotonic_ns()
    taken = 0  # bytes read so far
    ends = []  # when each frame's last byte was read (monotonic ns)
    frame_ends, queries, attributes = Finder(FRAME_END), Finder(STATUS_QUERY), Finder(ATTRIBUTES_QUERY)
    # A token bucket that keeps no credit from idle stretches: a link carries
    # nothing while it has nothing to carry. At most 10 ms of bytes at once.
    credit, last = 0.0, started
    burst = max(1, args.rate // 100)
    quit_sent = False
    ended = None
    pauses = [(started + int(at * 1e9), started + int(at * 1e9) + ms * 1000000) for at, ms in args.pause]
    while ended is None:
        now = time.monotonic_ns()
        if any(begin <= now < end for begin, end in pauses):
            time.sleep(0.001)
            credit, last = 0.0, time.monotonic_ns()
            ended = demo.reap(block=False)
            continue
        if args.seconds and now - started >= args.seconds * 1e9 and not quit_sent:
            os.write(demo.master, b"q")
            quit_sent = True
        want = 1 << 16
        if args.rate > 0:
            credit = min(float(burst), credit + args.rate * (now - last) / 1e9)
            last = now
            want = min(want, int(credit))
            if want < min(burst, max(1, args.rate // 1000)):  # less than a millisecond's bytes
                time.sleep(0.001)
                ended = demo.reap(block=False)
                continue
        waited = time.monotonic_ns()
        readable, _, _ = select.select([demo.master], [], [], 0.005)
        if readable and time.monotonic_ns() - waited > 500_000 and args.rate > 0:
            # The link was idle until now: it has carried nothing meanwhile.
            credit, last = 0.0, time.monotonic_ns()
            continue
        if readable:
            try:
                chunk = os.read(demo.master, want)
            except OSError:
                chunk = b""
            if chunk:
                at = time.monotonic_ns()
                taken += len(chunk)
                credit -= len(chunk)
                ends.extend([at] * frame_ends.count(chunk))
                asked = queries.count(chunk)
                if not args.no_answers:
                    answer = ATTRIBUTES_ANSWER * attributes.count(chunk) + STATUS_ANSWER * asked
                    if answer:
                        os.write(demo.master, answer)
        ended = demo.reap(block=False)
    wall = (time.monotonic_ns() - started) / 1e9
    os.close(demo.master)
    return wall, ended[0], taken, ends


def read_log(path):
    with open(path) as f:
        lines = [line.split() for line in f]
    os.unlink(path)
    return lines


def pause(text):
    at, _, ms = text.partition(":")
    try:
        return float(at), int(ms)
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not SECONDS:MILLISECONDS") from None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rate", type=int, default=40000, help="bytes per second the terminal takes (0: unlimited)")
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "release", "bin", "hazelglow"))
    parser.add_argument("--data", default=None, help="folder to run the demo in")
    parser.add_argument("--seconds", type=float, default=0, help="end the run after this long (0: whole run)")
    parser.add_argument("--no-answers", action="store_true", help="a terminal that answers no query")
    parser.add_argument("--worst", type=int, default=0, help="also print the N latest frames shown")
    parser.add_argument("--pause", type=pause, action="append", default=[], metavar="S:MS",
                        help="stop reading for MS milliseconds at second S (again for more)")
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    if args.data:
        args.data = os.path.abspath(args.data)
    if not os.access(args.binary, os.X_OK):
        sys.exit(f"slow_terminal: no demo at {args.binary} (build it first)")

    paths = []
    for prefix in ("hazelglow-frames-", "hazelglow-sent-"):
        f = tempfile.NamedTemporaryFile(prefix=prefix, suffix=".log", delete=False)
        f.close()
        paths.append(f.name)
    wall, status, taken, ends = run(args, *paths)
    log = [f for f in read_log(paths[0]) if f and f[0] == "frame"]
    # t, and the moment it is due: drawn `lead` ms before it
    frames = [(int(f[1]), int(f[2]) - int(f[3]) + (int(f[4]) * 1000000 if len(f) > 4 else 0)) for f in log]
    leads = [int(f[4]) for f in log if len(f) > 4]
    starts = [int(f[3]) / 1e6 for f in log[1:]]  # how long after its tick each frame started
    sent = [(int(f[1]), int(f[2])) for f in read_log(paths[1]) if f and f[0] == "sent"]

    colours = os.environ.get("COLORTERM", "") or "16 colours"
    rate = f"{args.rate} B/s" if args.rate else "unlimited"
    answers = "answers no query" if args.no_answers else "answers status queries"
    if args.pause:
        answers += ", stops reading " + ", ".join(f"{ms} ms at {at:g} s" for at, ms in args.pause)
    print(f"slow terminal: {args.binary}, 100x55, read at {rate}, {colours}, {answers};"
          f" load average {os.getloadavg()[0]:.2f}")
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
        shown.append((t, late, late - own, size))
    if not shown:
        return
    late = [s[1] for s in shown]
    excess = [s[2] for s in shown]
    # Early is out of step too: a frame held too little shows before its moment.
    print(f"  shown after its moment (ms): min {min(late):.1f}, p1 {percentile(late, 0.01):.1f},"
          f" median {percentile(late, 0.5):.1f}, p99 {percentile(late, 0.99):.1f}, max {max(late):.1f}")
    if args.rate:
        print(f"  the same less its own bytes' time at {args.rate} B/s (ms): median {percentile(excess, 0.5):.1f},"
              f" p99 {percentile(excess, 0.99):.1f}, max {max(excess):.1f}")
    print(f"  first frame shown: t = {shown[0][0]} ms, {shown[0][1]:.1f} ms after its moment")
    print(f"  last frame shown: t = {shown[-1][0]} ms; frames shown per second of timeline:"
          f" {len(shown) / (frames[-1][0] / 1000):.1f}")
    if leads:
        print(f"  drawn ahead of its moment (ms): median {percentile(leads, 0.5)}, max {max(leads)}")
    if args.worst:
        print(f"  the {args.worst} latest frames shown (t ms: ms after its moment, bytes):")
        for t, late_ms, _, size in sorted(shown, key=lambda s: -s[1])[:args.worst]:
            print(f"    t = {t}: {late_ms:.1f}, {size}")


if __name__ == "__main__":
    main()
