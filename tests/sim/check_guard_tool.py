"""listpool-sim --guard as a script uses it: exit 0 when every verdict
holds, 1 when one fails, 2 when the text is refused; the replay command it
prints for a failure plays that failure."""
import pathlib
import re
import shlex
import subprocess
import sys
import tempfile

program, source = sys.argv[1], pathlib.Path(sys.argv[2])


def run(*arguments):
    return subprocess.run([program, *arguments], capture_output=True, text=True, timeout=120)


def fail(message):
    print(message)
    sys.exit(1)


with tempfile.TemporaryDirectory() as folder:
    # The real guard: its four functions as the file has them.
    file = (source / "store/read_write_guard.cpp").read_text()
    real = pathlib.Path(folder, "real.guard")
    real.write_text(file[file.index("void ReadWriteGuard::ReaderArrives"):file.rindex("}  // namespace")])
    done = run("--guard", str(real))
    if done.returncode != 0 or "FAILS" in done.stdout or "states 56,718" not in done.stdout:
        fail(f"the real guard: {done.returncode}\n{done.stdout}{done.stderr}")

    broken = source / "sim/guards/texts/without-recheck.guard"
    done = run("--guard", str(broken))
    if done.returncode != 1 or "exclusion: FAILS" not in done.stdout:
        fail(f"without the re-check: {done.returncode}\n{done.stdout}{done.stderr}")
    # The replay of the exclusion's failure (the first printed) shows it.
    command = re.search(r"exclusion: FAILS.*?\n.*?\n    replay: (.*)\n", done.stdout).group(1)
    words = shlex.split(command)
    replayed = run(*words[1:])
    if replayed.returncode != 1 or "came in" not in replayed.stdout:
        fail(f"{command}: {replayed.returncode}\n{replayed.stdout}{replayed.stderr}")

    refused = pathlib.Path(folder, "refused.guard")
    refused.write_text("void ReaderArrives() {\n    delete countMutex;\n}\n")
    done = run("--guard", str(refused))
    if done.returncode != 2 or "line 2, column 5" not in done.stderr:
        fail(f"a refused text: {done.returncode}\n{done.stdout}{done.stderr}")
print("ok")
