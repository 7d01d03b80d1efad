#!/usr/bin/env python3
"""How late the workers' completion lines arrive.

Runs the program SESSIONS times, each in a fresh folder. In each session it
types p, then F 7, then g, each only once the prompt shows that the program is
waiting for a command, so the moment a command is written is the moment it is
read. It then waits for the three completion lines on standard error and
types q. A line's lateness is its arrival less the command's moment less the
nominal time: 5 s for the print, 2 s for the find, 8 s for the collection.

Prints one line per command: "name nominal_s median_ms max_ms sample_ms...".
"""

import os
import select
import statistics
import subprocess
import sys
import tempfile
import time

PROMPT = b"Your Command [i d p f F g s]? "
COMMANDS = [
    # (name, what is typed, nominal seconds, completion line)
    ("p", b"p\n", 5.0, b"Thread: [PrintThread.0]: Printing Done!"),
    ("F", b"F 7\n", 2.0, b"Thread: [FindThread.0]: Finding Done!"),
    ("g", b"g\n", 8.0, b"Thread: [GarbageThread.0]: Garbage Collection Done!"),
]


class Session:
    def __init__(self, program, folder):
        self.process = subprocess.Popen(
            [program],
            cwd=folder,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            bufsize=0,
        )
        self.out = b""
        self.err = b""
        self.lines = []  # (arrival, line) of standard error

    def pump(self, deadline):
        """Reads what either stream has until the deadline; False at its end."""
        streams = [self.process.stdout, self.process.stderr]
        timeout = max(0.0, deadline - time.monotonic())
        ready, _, _ = select.select(streams, [], [], timeout)
        now = time.monotonic()
        for stream in ready:
            data = os.read(stream.fileno(), 65536)
            if not data:
                return False
            if stream is self.process.stdout:
                self.out += data
            else:
                self.err += data
                while b"\n" in self.err:
                    line, self.err = self.err.split(b"\n", 1)
                    self.lines.append((now, line))
        return True

    def wait_for_prompt(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while not self.out.endswith(PROMPT):
            if time.monotonic() > deadline or not self.pump(deadline):
                raise RuntimeError("no prompt; output so far: %r" % self.out[-200:])
        self.out = b""

    def type(self, text):
        self.process.stdin.write(text)
        return time.monotonic()

    def wait_for_line(self, line, timeout):
        deadline = time.monotonic() + timeout
        while True:
            for arrival, got in self.lines:
                if got == line:
                    return arrival
            if time.monotonic() > deadline or not self.pump(deadline):
                raise RuntimeError("no line %r" % line)


def main():
    program = sys.argv[1]
    sessions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    late = {name: [] for name, _, _, _ in COMMANDS}
    for _ in range(sessions):
        with tempfile.TemporaryDirectory() as folder:
            session = Session(program, folder)
            session.wait_for_prompt()
            typed = {}
            for name, text, _, _ in COMMANDS:
                typed[name] = session.type(text)
                session.wait_for_prompt()
            for name, _, nominal, line in COMMANDS:
                arrival = session.wait_for_line(line, nominal + 5.0)
                late[name].append((arrival - typed[name] - nominal) * 1000.0)
            session.type(b"q\n")
            session.process.stdin.close()
            while session.pump(time.monotonic() + 15.0):
                pass
            if session.process.wait(timeout=15) != 0:
                raise RuntimeError("the program did not exit with status 0")
    for name, _, nominal, _ in COMMANDS:
        samples = late[name]
        print(
            name,
            "%g" % nominal,
            "%.2f" % statistics.median(samples),
            "%.2f" % max(samples),
            " ".join("%.2f" % sample for sample in samples),
        )


if __name__ == "__main__":
    main()
