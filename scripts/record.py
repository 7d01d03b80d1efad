#!/usr/bin/env python3
"""Runs a program with this process's standard output and standard error,
hands it what comes on standard input, and keeps each line with the time it
came as a session for listpool-sim.

usage: record.py SESSION PROGRAM [ARGUMENT...]

The program writes straight to the recorder's own standard output and
standard error, so nothing it writes passes through here. Only its
standard input does: every chunk read is stamped and handed on at once, and
the end of input closes the program's input. A line counts as typed when
its newline comes, in milliseconds from the program's start; the session
holds every line as "@<ms> text", so that a typed line starting with "@"
stays text, and a last line "@<ms>" when input ended later than the last
line was typed. The recorder ends when the program does, with its status.
"""

import os
import select
import signal
import subprocess
import sys
import time


def session_text(chunks, ended_ms):
    """The session for the chunks read, (ms, bytes) in order, and the time
    input ended (None if it had not)."""
    text = b""
    line = b""
    last_ms = 0
    for ms, data in chunks:
        while data:
            end = data.find(b"\n")
            if end < 0:
                line += data
                break
            line += data[: end + 1]
            data = data[end + 1 :]
            text += b"@%d " % ms + line
            line = b""
            last_ms = ms
    if line:
        # Input that ends without a newline: the session cannot say when it
        # ended, only that it ends after these bytes.
        return text + b"@%d " % chunks[-1][0] + line
    if ended_ms is not None and ended_ms > last_ms:
        text += b"@%d\n" % ended_ms
    return text


def record(program):
    """Runs the program; yields its status, the chunks read and when input ended."""
    # The program's exit must wake the loop below even while nobody types.
    wake_read, wake_write = os.pipe()
    os.set_blocking(wake_read, False)
    os.set_blocking(wake_write, False)
    signal.set_wakeup_fd(wake_write)
    signal.signal(signal.SIGCHLD, lambda *_: None)
    # ^C and a closed terminal are the program's to act on; the recorder
    # stays to keep the session. A handler, unlike SIG_IGN, is not inherited.
    for number in (signal.SIGINT, signal.SIGHUP):
        signal.signal(number, lambda *_: None)

    start = time.monotonic()
    child = subprocess.Popen(program, stdin=subprocess.PIPE)
    to_child = child.stdin.fileno()
    # A program that does not read for a while must not stop the recorder
    # from stamping what is typed meanwhile.
    os.set_blocking(to_child, False)
    chunks = []
    pending = b""
    reading = True
    ended_ms = None
    while child.poll() is None:
        readable = [wake_read] + ([0] if reading else [])
        writable = [to_child] if pending else []
        ready, _, _ = select.select(readable, writable, [])
        if 0 in ready:
            try:
                data = os.read(0, 65536)
            except OSError:  # a terminal gone: the end of input
                data = b""
            ms = round((time.monotonic() - start) * 1000)
            if data:
                chunks.append((ms, data))
                pending += data
            else:
                reading = False
                ended_ms = ms
        if pending:
            try:
                pending = pending[os.write(to_child, pending) :]
            except BlockingIOError:
                pass  # the pipe is full; select says when it has room
            except BrokenPipeError:
                pending = b""  # the program closed its input, as it quits
        if not reading and not pending and not child.stdin.closed:
            child.stdin.close()
        if wake_read in ready:
            while True:
                try:
                    if not os.read(wake_read, 512):
                        break
                except BlockingIOError:
                    break
    if not child.stdin.closed:
        try:
            child.stdin.close()
        except BrokenPipeError:
            pass
    return child.returncode, chunks, ended_ms


def main():
    if len(sys.argv) < 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        os.fstat(0)
    except OSError:
        # No standard input at all: one that ends at once, so that no pipe
        # made here takes its place.
        os.open(os.devnull, os.O_RDONLY)
    status, chunks, ended_ms = record(sys.argv[2:])
    with open(sys.argv[1], "wb") as session:
        session.write(session_text(chunks, ended_ms))
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main())
