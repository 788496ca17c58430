"""Runs the demo in a pseudo-terminal as a shell would run a job: in a
process group of its own, in the foreground of the terminal, so Ctrl+Z
(SIGTSTP) really stops it. (A process group whose parent is outside the
terminal's session is orphaned, and the kernel drops SIGTSTP for it.)

Used by bench/live_demo.py and scripts/ci-sound.sh: the caller reads the
terminal through `master`, signals `pid` and reaps `leader` with wait4 for
the CPU the run used.
"""
import fcntl
import os
import pty
import signal
import struct
import termios


# The value below which `fraction` of the values lie (nearest rank), for the
# figures the bench scripts print.
def percentile(values, fraction):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    index = min(len(ordered) - 1, max(0, int(round(fraction * (len(ordered) - 1)))))
    return ordered[index]


class DemoInPty:
    def __init__(self, argv, env, cwd=None, rows=55, columns=100):
        ready_read, ready_write = os.pipe()
        self.leader, self.master = pty.fork()
        if self.leader == 0:
            # The session leader: like a shell, it puts the demo in the foreground.
            os.close(ready_read)
            if cwd:
                os.chdir(cwd)
            signal.signal(signal.SIGTTOU, signal.SIG_IGN)
            child = os.fork()
            if child == 0:
                os.setpgid(0, 0)
                signal.signal(signal.SIGTTOU, signal.SIG_DFL)
                os.execve(argv[0], argv, env)
            os.setpgid(child, child)
            os.tcsetpgrp(0, child)
            os.write(ready_write, str(child).encode())
            os.close(ready_write)
            _, status = os.waitpid(child, 0)
            os._exit(os.waitstatus_to_exitcode(status) & 0xFF)
        os.close(ready_write)
        fcntl.ioctl(self.master, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
        self.pid = int(os.read(ready_read, 32))
        os.close(ready_read)

    def reap(self, block):
        """(exit code, rusage) once the demo and its leader have ended, else None."""
        waited, status, usage = os.wait4(self.leader, 0 if block else os.WNOHANG)
        if waited != self.leader:
            return None
        return os.waitstatus_to_exitcode(status), usage
