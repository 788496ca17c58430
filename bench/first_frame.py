#!/usr/bin/env python3
"""Seconds from `git clone` to the demo's first frame, as a newcomer gets it:
clone the repository into a temporary folder, run scripts/run-demo.sh there
in a pseudo-terminal (set-up check, configure, build, run) and stop the
clock at the first synchronized-update sequence the demo writes. No compiler
cache: the launcher variables are dropped and CCACHE_DISABLE is set.

usage: bench/first_frame.py [REPOSITORY]   (default: the one this script is in)
Prints the figure with the load average before and after, and the CPU time
the clone and the build used (the machine may be shared).
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from demo_pty import DemoInPty  # noqa: E402

SYNC_BEGIN = b"\x1b[?2026h"
LIMIT = 600.0  # s: a build that takes longer has failed in some other way


def main():
    repository = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    env = {k: v for k, v in os.environ.items() if k not in ("CMAKE_CXX_COMPILER_LAUNCHER", "CMAKE_C_COMPILER_LAUNCHER")}
    env["CCACHE_DISABLE"] = "1"
    env.setdefault("TERM", "xterm-256color")
    scratch = tempfile.mkdtemp(prefix="hg-first-frame-")
    load_before = os.getloadavg()
    try:
        start = time.monotonic()
        subprocess.run(["git", "clone", "-q", repository, os.path.join(scratch, "hazelglow")], check=True)
        cloned = time.monotonic()
        clone = os.path.join(scratch, "hazelglow")
        demo = DemoInPty([os.path.join(clone, "scripts", "run-demo.sh")], env, cwd=clone)
        seen = b""
        first = None
        while time.monotonic() - start < LIMIT:
            ready, _, _ = select.select([demo.master], [], [], 1.0)
            if not ready:
                continue
            try:
                chunk = os.read(demo.master, 65536)
            except OSError:
                break
            if not chunk:
                break
            seen = (seen + chunk)[-len(SYNC_BEGIN) - 65536:]
            if SYNC_BEGIN in seen:
                first = time.monotonic()
                break
        try:
            os.killpg(demo.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        # Keep draining so the demo is never blocked writing to us while it ends.
        deadline = time.monotonic() + 10
        reaped = None
        while reaped is None and time.monotonic() < deadline:
            if select.select([demo.master], [], [], 0.1)[0]:
                try:
                    os.read(demo.master, 65536)
                except OSError:
                    pass
            reaped = demo.reap(False)
        if reaped is None:
            reaped = demo.reap(True)
        _, usage = reaped
        load_after = os.getloadavg()
        if first is None:
            print("first_frame: no frame seen; the last output was:", seen[-2000:].decode(errors="replace"))
            return 1
        print(f"clone {cloned - start:.1f} s, clone to first frame {first - start:.1f} s")
        print(f"build and run CPU {usage.ru_utime + usage.ru_stime:.1f} s (children of run-demo.sh)")
        print("load average before %.2f %.2f %.2f, after %.2f %.2f %.2f" % (load_before + load_after))
        return 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
