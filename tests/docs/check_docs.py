#!/usr/bin/env python3
"""README.md and docs/*.md still tell the truth about the tree they are in.

  check_docs.py SOURCE_DIR LISTPOOL_SIM

- Every relative link and image points at a file that exists, and an
  #anchor at a heading that exists in its page (GitHub's anchors: the
  heading's text in lower case, punctuation dropped, spaces as hyphens,
  -1, -2 ... after a repeated one).
- A fenced block right after one of these comments is what it names:
    <!-- checked: executable -->          each line's first word is an
                                          executable file of the tree
    <!-- checked: SESSION -->             the session file's text
    <!-- checked: STREAM of SESSION -->   what the program writes to stdout,
                                          stderr or a log file on that
                                          session, byte for byte, as the
                                          simulator runs it
  A stream's block holds the bytes exactly; the line end the fence needs
  after them is dropped when the bytes end without one.
- README.md has its commands and a stream of its session checked so.
- Every repository path named in a comment of the sources or in a page
  exists (check_paths.py says what counts as one).
- The sources keep docs/ARCHITECTURE.md's table of what each folder may
  include, and no source outside platform/ has an #if.
- The README's command table, the user's guide, the manual page
  listpool(1) and the Windows .zip's readme name the same commands, and the
  guide and the page the same exit statuses.
Prints every broken thing and exits 1 if there is one.
"""
import difflib
import functools
import re
import subprocess
import sys
from pathlib import Path

from check_paths import check_paths

ROOT = Path(sys.argv[1]).resolve()
SIM = sys.argv[2]

FENCE = re.compile(r"^(```+|~~~+)")
LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
HTML_REF = re.compile(r"""<(?:a|img)\b[^>]*?\b(?:href|src)\s*=\s*["']([^"']+)["']""", re.I)
MARKER = re.compile(r"^<!--\s*checked:\s*(.+?)\s*-->\s*$")
WRITE = re.compile(r'^\s*(\d+) ms  .*?(\S+)\s+("(?:[^"\\]|\\.)*")$')


def pages():
    return [ROOT / "README.md"] + sorted((ROOT / "docs").glob("*.md"))


def blocks_and_text(path):
    """The page's lines outside fenced blocks, and each fenced block with the
    line just before its fence."""
    text, blocks = [], []
    lines = path.read_text(encoding="utf-8").split("\n")
    i = 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            text.append((i + 1, lines[i]))
            i += 1
            continue
        end = i + 1
        while end < len(lines) and not lines[end].startswith(opening.group(1)):
            end += 1
        before = lines[i - 1] if i > 0 else ""
        blocks.append((i + 1, before, "\n".join(lines[i + 1 : end]) + "\n"))
        i = end + 1
    return text, blocks


def slug(heading):
    heading = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link's text
    heading = re.sub(r"[`*]", "", heading).strip().lower()
    heading = re.sub(r"[^\w\- ]", "", heading)
    return heading.replace(" ", "-")


def anchors(path):
    found, seen = set(), {}
    text, _ = blocks_and_text(path)
    for _, line in text:
        heading = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if heading:
            base = slug(heading.group(1))
            count = seen.get(base, 0)
            seen[base] = count + 1
            found.add(base if count == 0 else "%s-%d" % (base, count))
    return found


def check_links(path, problems):
    text, _ = blocks_and_text(path)
    for number, line in text:
        line = re.sub(r"`+[^`]*`+", "", line)  # code, not links
        for target in LINK.findall(line) + HTML_REF.findall(line):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
                continue  # another site, mail: not checked here
            file_part, _, anchor = target.partition("#")
            where = "%s:%d: %s" % (path.relative_to(ROOT), number, target)
            linked = (path.parent / file_part).resolve() if file_part else path
            if not linked.exists():
                problems.append(where + ": no such file")
            elif anchor and linked.suffix == ".md" and anchor not in anchors(linked):
                problems.append(where + ": no such heading")


def unquoted(quoted):
    """The bytes of a write as listpool-sim quotes them, as text."""
    escapes = {"n": b"\n", "r": b"\r", "t": b"\t"}
    raw = re.sub(rb"\\(x[0-9a-f]{2}|.)",
                 lambda m: bytes([int(m.group(1)[1:], 16)]) if len(m.group(1)) == 3
                 else escapes.get(m.group(1).decode(), m.group(1)),
                 quoted[1:-1].encode())
    return raw.decode("utf-8", "surrogateescape")


@functools.cache
def simulated_streams(session):
    """What the program writes to each file on the session, in the simulator."""
    done = subprocess.run([SIM, str(ROOT / session)], capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit("listpool-sim %s failed:\n%s%s" % (session, done.stdout, done.stderr))
    streams = {}
    for line in done.stdout.splitlines()[:-1]:  # the last says how the run ended
        write = WRITE.match(line)
        if not write:
            raise SystemExit("listpool-sim wrote a line this check cannot read: " + line)
        streams[write.group(2)] = streams.get(write.group(2), "") + unquoted(write.group(3))
    return streams


def check_block(path, number, what, block, problems):
    where = "%s:%d" % (path.relative_to(ROOT), number)
    if what == "executable":
        for line in block.splitlines():
            command = ROOT / line.split()[0]
            if not (command.is_file() and command.stat().st_mode & 0o111):
                problems.append("%s: %s is not an executable file" % (where, line.split()[0]))
        return "executable"
    stream, _, session = what.rpartition(" of ")
    if not (ROOT / session).is_file():
        problems.append("%s: no session %s" % (where, session))
        return None
    if not stream:
        expected = (ROOT / session).read_text(encoding="utf-8")
    else:
        expected = simulated_streams(session).get(stream, "")
        if not expected.endswith("\n"):
            block = block[:-1]
    if block != expected:
        diff = difflib.unified_diff(block.splitlines(True), expected.splitlines(True),
                                    "the block", what)
        problems.append("%s: the block is not %s:\n%s" % (where, what, "".join(diff)))
    return "stream" if stream else "session"


def section(text, start, end):
    """The lines of text from the line matching start to the next matching end."""
    lines = text.split("\n")
    begin = next((i for i, line in enumerate(lines) if re.match(start, line)), len(lines))
    stop = next((i for i in range(begin + 1, len(lines)) if re.match(end, lines[i])), len(lines))
    return "\n".join(lines[begin:stop])


def check_in_step(problems):
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    guide = (ROOT / "docs/USER-GUIDE.md").read_text(encoding="utf-8")
    page = (ROOT / "docs/listpool.1").read_text(encoding="utf-8")
    windows = (ROOT / "docs/README-windows.txt.in").read_text(encoding="utf-8")
    named = {
        "the README's command table": re.findall(r"^\| `(\w)` \|", readme, re.M),
        "docs/USER-GUIDE.md's commands": re.findall(
            r"^- `(\w)` ", section(guide, r"## The commands", r"## "), re.M),
        "listpool(1)'s COMMANDS": re.findall(
            r"^\.TP\n\.B (\w)$", section(page, r"\.SH COMMANDS", r"\.SH "), re.M),
        "the Windows readme's commands": re.findall(r"^  (\w)   ", windows, re.M),
    }
    statuses = {
        "docs/USER-GUIDE.md's exit statuses": re.findall(
            r"^- (\d+):", section(guide, r"## Exit status", r"## "), re.M),
        "listpool(1)'s EXIT STATUS": re.findall(
            r"^\.TP\n(?:\.B )?(\d+)$", section(page, r"\.SH EXIT STATUS", r"\.SH "), re.M),
    }
    for told in (named, statuses):
        (first, expected), *others = told.items()
        for name, found in others:
            if sorted(found) != sorted(expected) or not found:
                problems.append("%s (%s) and %s (%s) differ" % (
                    first, " ".join(expected), name, " ".join(found)))


def check_includes(problems):
    table = section((ROOT / "docs/ARCHITECTURE.md").read_text(encoding="utf-8"),
                    r"## What each folder may include", r"## ")
    allowed = {}
    for row in re.findall(r"^\| (.*) \| (.*) \| .* \|$", table, re.M):
        for folder in re.findall(r"`([^`]+/)`", row[0]):
            allowed[folder] = [folder] + re.findall(r"`([^`]+)`", row[1])
    if len(allowed) < 5:
        problems.append("docs/ARCHITECTURE.md: no table of what each folder may include")
    sources = {path for folder in allowed for path in (ROOT / folder).rglob("*")
               if path.suffix in (".h", ".cpp")}
    for source in sorted(sources):
        name = source.relative_to(ROOT).as_posix()
        folders = [folder for folder in allowed if name.startswith(folder)]
        prefixes = allowed[max(folders, key=len)]
        for number, line in enumerate(source.read_text(encoding="utf-8").split("\n"), 1):
            included = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if included and not any(included.group(1).startswith(p) for p in prefixes):
                problems.append("%s:%d: includes %s, which docs/ARCHITECTURE.md does not let %s" % (
                    name, number, included.group(1), max(folders, key=len)))
            if re.match(r"\s*#\s*if", line) and not name.startswith("platform/"):
                problems.append("%s:%d: an #if above platform/" % (name, number))


def main():
    problems, readme_checks = [], set()
    for path in pages():
        check_links(path, problems)
        for number, before, block in blocks_and_text(path)[1]:
            marker = MARKER.match(before)
            if marker:
                kind = check_block(path, number, marker.group(1), block, problems)
                if path.name == "README.md":
                    readme_checks.add(kind)
    check_in_step(problems)
    check_includes(problems)
    check_paths(ROOT, pages(), problems)
    for kind in ("executable", "stream"):
        if kind not in readme_checks:
            problems.append("README.md: no block checked as %s" % kind)
    for problem in problems:
        print(problem)
    print("%d pages, %d problems" % (len(pages()), len(problems)))
    return 1 if problems else 0


sys.exit(main())
