#!/usr/bin/env python3
"""The recorder, scripts/record.sh, on lines typed through a pipe with pauses.

The program runs under the recorder as the end-to-end harness runs it, its
output timestamped as it comes. The session the recorder keeps must hold
the bytes typed, and the simulator's replay of it must write the same
standard output, standard error and logs as the recorded run, each write to
standard output and standard error within TOLERANCE_MS of when the program
wrote it. The session is drawn as well.

The same comparison must reject three sessions a faulty recorder would
keep: one that lost the times (every line typed at once), one whose times
are late by 300 ms, and one that lost its last line.

usage: recorder_test.py LISTPOOL LISTPOOL_SIM
"""

import codecs
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

from e2e_harness import LOGS, Failure, Options, Run, require_equal

RECORD = Path(__file__).resolve().parents[2] / "scripts" / "record.sh"
# How far the simulator may be from the real program on any write. On an
# idle machine the two agree within a few milliseconds (the test prints the
# figure); with the rest of the suite running on two cores the program's own
# pauses come up to about 50 ms late, which is not the recorder's doing.
# Every fault below is off by 300 ms or more.
TOLERANCE_MS = 100
# (seconds after the start, what is typed). The find holds the list for
# 2 s, so the delete waits for it; "@5 x" is two words that name no
# command, and must stay text in the session. Every line comes at least
# 100 ms away from the prompt it answers.
TYPED = [
    (0.0, "i 7 9 -1\n"),
    (0.4, "F 9\n"),
    (0.9, "@5 x\n"),
    (1.45, "d 7\n"),
    (2.8, "f\n"),
]
INPUT_ENDS = 3.2
TRANSCRIPT_LINE = re.compile(rb'^ *(\d+) ms  .+? +(\S+) +"(.*)"$')


def replay(sim, session_text):
    """The simulator's writes for a session: (ms, file, bytes) in order."""
    with tempfile.NamedTemporaryFile(suffix=".session") as session:
        session.write(session_text)
        session.flush()
        transcript = subprocess.run([sim, session.name], capture_output=True).stdout
    writes = []
    for line in transcript.splitlines():
        match = TRANSCRIPT_LINE.match(line)
        if match:
            ms, file, quoted = match.groups()
            writes.append((int(ms), file.decode(), codecs.escape_decode(quoted)[0]))
    return writes


def differences(run, writes):
    """Where the simulator's writes differ from the recorded run's, or []."""
    problems = []
    streams = {"stdout": run.out, "stderr": run.err}
    for file in ("stdout", "stderr") + LOGS:
        real = streams[file].data if file in streams else run.log(file)
        simulated = b"".join(data for _, f, data in writes if f == file)
        try:
            require_equal(file, real, simulated)
        except Failure as failure:
            problems.append(str(failure))
    # The program's clock starts when the recorder starts it, a moment
    # before its first write; no write can come before its time from there,
    # so the write least behind its virtual time says where the start was.
    behind = {}
    for file, stream in streams.items():
        written = 0
        for n, (ms, f, data) in enumerate(writes):
            if f == file:
                written += len(data)
                came = next((t for t, length in stream.marks if length >= written), None)
                if came is not None:  # else a difference in the bytes, reported above
                    behind[n] = came * 1000 - ms
    start = min(behind.values(), default=0)
    differences.spread = max(behind.values(), default=0) - start
    for n, late in behind.items():
        if late - start > TOLERANCE_MS:
            ms, file, data = writes[n]
            problems.append(f"{file} {data!r}: at {ms} ms in the simulator, "
                            f"{late - start:.0f} ms later in the recorded run")
    return problems


def typed_bytes(session_text):
    """What a session types, without its times."""
    return re.sub(rb"(?m)^@\d+( |$\n?)", b"", session_text)


def record(program_run, session):
    """Types TYPED into the recorder; the session it recorded."""
    for when, line in TYPED:
        program_run.send_at(when, line)
    program_run.send_at(INPUT_ENDS, b"", close=True)
    program_run.check_exit(program_run.finish(timeout=20))
    recorded = session.read_bytes()
    require_equal("what the session types", "".join(l for _, l in TYPED).encode(),
                  typed_bytes(recorded))
    return recorded


def main():
    program, sim = sys.argv[1:3]
    os.environ.update(LISTPOOL=str(Path(program).resolve()), LISTPOOL_SIM=str(Path(sim).resolve()))
    work = Path(tempfile.mkdtemp(prefix="listpool-recorder-"))
    session, picture = work / "typed.session", work / "typed.svg"
    options = Options(RECORD, "", "lf")
    options.command += ["--svg", str(picture), str(session)]
    # Real time on a loaded machine: a run that comes out late is typed once
    # more, and fails only if that one is late too. Every fault below is late
    # by the same 300 ms however often it is typed.
    for attempt in (1, 2):
        run = Run(options)
        try:
            recorded = record(run, session)
            problems = differences(run, replay(sim, recorded))
            spread = differences.spread
            if problems and attempt == 1:
                print("late the first time, typed again:\n" + "\n".join(problems))
                run.clean()
                continue
            if problems:
                raise Failure("the replay of\n" + recorded.decode("latin-1") + "\n".join(problems))
            if ET.parse(picture).getroot().tag != "{http://www.w3.org/2000/svg}svg":
                raise Failure(f"{picture} is not an SVG picture")

            faulty = {
                "without its times": typed_bytes(recorded),
                "300 ms late": re.sub(rb"(?m)^@(\d+)",
                                      lambda m: b"@%d" % (int(m.group(1)) + 300), recorded),
                "without its last line": re.sub(rb"(?m)^@\d+ f\n", b"", recorded),
            }
            for fault, text in faulty.items():
                if not differences(run, replay(sim, text)):
                    raise Failure(f"the session {fault} passes too:\n{text.decode('latin-1')}")
        except Failure as failure:
            print(f"FAIL: {failure}\nkept the run's folder {run.folder} and {work}", file=sys.stderr)
            return 1
        break
    run.clean()
    for path in (session, picture):
        path.unlink()
    work.rmdir()
    print(f"ok: {len(TYPED)} lines recorded, replayed and drawn; every write within "
          f"{spread:.1f} ms of the simulator's")
    return 0


if __name__ == "__main__":
    sys.exit(main())
