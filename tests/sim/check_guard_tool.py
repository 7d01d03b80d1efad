"""listpool-sim --guard as a script uses it: exit 0 when every verdict
holds, 1 when one fails, 2 when the text is refused; the replay command it
prints for a failure plays that failure; and its explorer page beside the
real guard's has the check's verdicts, a failure's schedule the check's, and
each thread stopped in the text at its line."""
import json
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

    # The explorer's page on the explorer's scene: each property as the
    # check's verdict on it, the exclusion's shortest schedule the one the
    # check printed, and the state it ends in beside the real guard's.
    scene = done.stdout[done.stdout.index("2 readers for ever"):]
    page = pathlib.Path(folder, "page.html")
    # The text is untrusted: a comment that holds the page's own marks and
    # what would end or change its script elements stays text in the data.
    hostile = pathlib.Path(folder, "hostile.guard")
    hostile.write_text("// @PEER@ @DATA@ <!--<script> </script>\n" + broken.read_text())
    made = run("--guard", str(hostile), "--explore", str(page))
    if made.returncode != 0:
        fail(f"--explore: {made.returncode}\n{made.stdout}{made.stderr}")
    text = page.read_text()
    data, peer = (json.loads(text[text.index(">", text.index(f'<script id="{i}"')) + 1:
                                  text.index("</script>", text.index(f'<script id="{i}"'))])
                  for i in ("data", "peer"))
    if data["code"]["sequences"][0]["text"][0] != "// @PEER@ @DATA@ <!--<script> </script>":
        fail(f"the text's first line in the page: {data['code']['sequences'][0]['text'][0]!r}")
    said = {p["name"]: not (p["failures"] or p["cycle"]) for p in data["properties"]}
    for name, holds in said.items():
        if f"  {name}: {'holds' if holds else 'FAILS'}" not in scene:
            fail(f"the page says {name} {'holds' if holds else 'fails'}:\n{scene}")
    exclusion = data["properties"][0]
    printed = re.search(r"exclusion: FAILS.*?\n    schedule: (.*)\n", scene).group(1)
    if " ".join(map(str, exclusion["choices"])) != printed or peer["properties"][0]["failures"]:
        fail(f"the page's exclusion: {exclusion}, the check's: {printed}")
    # Along the schedule, whoever is stopped in a sequence is at the line
    # that makes its next call.
    lines = hostile.read_text().splitlines()
    columns = 1 + len(data["threadColumns"])
    at = data["threadColumns"].index("line") + 1
    node, taken, seen = 0, 0, 0
    while node >= 0:
        texts = [data["strings"][i] for g in data["nodes"][node][2] for i in data["groups"][g]]
        for t in range(len(data["threads"])):
            line = texts[t * columns + at]
            if line:
                seen += 1
                if lines[int(line.split()[1]) - 1].strip() != texts[t * columns] + ";":
                    fail(f"{data['threads'][t]} marked at {line}, next {texts[t * columns]}")
        steps = data["nodes"][node][1]
        if len(steps) == 2:
            node = steps[1]
        elif steps and taken < len(exclusion["choices"]):
            node = steps[steps[0::2].index(exclusion["choices"][taken]) * 2 + 1]
            taken += 1
        else:
            break
    if seen == 0:
        fail("no thread was ever marked at a line of the text")

    # A session's page over a guard text shows the text, each thread marked
    # in every state at the line that makes its next call, in which guard.
    session = pathlib.Path(folder, "print.session")
    session.write_text("i 1 2 -1\np\nd 1\nq\n")
    made = run("--guard", str(real), "--explore", str(page), str(session))
    if made.returncode != 0:
        fail(f"--explore SESSION: {made.returncode}\n{made.stdout}{made.stderr}")
    text = page.read_text()
    start = text.index(">", text.index('<script id="data"')) + 1
    data = json.loads(text[start:text.index("</script>", start)])
    lines = real.read_text().splitlines()
    columns, at = 1 + len(data["threadColumns"]), data["threadColumns"].index("line") + 1
    marked = set()
    for node in range(len(data["nodes"])):
        texts = [data["strings"][i] for g in data["nodes"][node][2] for i in data["groups"][g]]
        for t in range(len(data["threads"])):
            found = re.fullmatch(r"line (\d+) \((pool|list)\)", texts[t * columns + at])
            if texts[t * columns + at] and (
                    not found or texts[t * columns] !=
                    f"{found.group(2)} {lines[int(found.group(1)) - 1].strip().rstrip(';')}"):
                fail(f"{data['threads'][t]} marked {texts[t * columns + at]!r}, next {texts[t * columns]}")
            marked.add(texts[t * columns + at])
    if len(marked) < 10 or data["code"]["sequences"][0]["text"] != real.read_text().split("\n"):
        fail(f"the session's page over the text marks {sorted(marked)}")

    refused = pathlib.Path(folder, "refused.guard")
    refused.write_text("void ReaderArrives() {\n    delete countMutex;\n}\n")
    done = run("--guard", str(refused))
    if done.returncode != 2 or "line 2, column 5" not in done.stderr:
        fail(f"a refused text: {done.returncode}\n{done.stdout}{done.stderr}")
print("ok")
