#!/usr/bin/env python3
"""Makes the lab's page: sim/lab/lab.html around the WebAssembly module (one
JavaScript file with the wasm inside), the page's scripts (sim/page_scripts.txt;
with the explorer's code view, and its look) and its worker's,
with a content security policy that lets run only the page's script and the
explorer page's (by their hashes), WebAssembly, workers that the page makes
from the module and its worker's script, and the module's reading of the
wasm inside it (a data: address); and docs/GUARD.md as HTML (guard_html.py). The page names a digest of the sources
it was made from, so that a page left behind by a change of them is seen
without building it (--check-sources, in the plain suite).

  make_lab.py SOURCE_DIR MODULE_JS OUTPUT
  make_lab.py --check-sources PAGE
"""
import base64
import hashlib
import re
import sys
from pathlib import Path

from guard_html import guard_html


ROOT = Path(__file__).resolve().parents[2]


def page_scripts(sim, page):
    """The scripts of `page` ("explorer" or "lab"), in sim/page_scripts.txt's order."""
    lines = (sim / "page_scripts.txt").read_text(encoding="utf-8").splitlines()
    return [sim / line.split(":", 1)[1].strip() for line in lines if line.startswith(page + ":")]


# What the page is made of: the program and the simulator compiled into its
# module, the pages' scripts, the texts it quotes, and the build's flags.
MADE_FROM = ("platform", "store", "streams", "workers", "console", "sim", "docs/GUARD.md",
             "CMakeLists.txt")


def sources_digest():
    files = []
    for name in MADE_FROM:
        path = ROOT / name
        found = [path] if path.is_file() else sorted(path.rglob("*"))
        files += [f for f in found if f.is_file() and "__pycache__" not in f.parts
                  and not any(part.startswith(".") for part in f.relative_to(ROOT).parts)]
    whole = hashlib.sha256()
    for f in sorted(files):
        whole.update(f.relative_to(ROOT).as_posix().encode() + b"\0" + f.read_bytes() + b"\0")
    return whole.hexdigest()


def check_sources(page):
    found = re.search(r'<meta name="listpool-sources" content="([0-9a-f]+)">',
                      page.read_text(encoding="utf-8"))
    if not found or found.group(1) != sources_digest():
        sys.exit(f"{page} was not made from these sources: run scripts/make-lab.sh")
    print(f"{page} was made from these sources")


def digest(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode()).digest()).decode() + "'"


def main():
    if sys.argv[1] == "--check-sources":
        check_sources(Path(sys.argv[2]))
        return
    source, module, output = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    page = (source / "lab.html").read_text(encoding="utf-8")
    engine = module.read_text(encoding="utf-8")
    sim = source.parent
    # The page's script: what it shares with the explorer, then its own.
    lab = "".join(path.read_text(encoding="utf-8") for path in page_scripts(sim, "lab"))
    worker = (source / "lab_worker.js").read_text(encoding="utf-8")
    for name, text in (("module", engine), ("the page's script", lab), ("lab_worker.js", worker)):
        if "</script" in text.lower():
            sys.exit(f"make_lab.py: {name} holds </script, which would end its element")
    # The explorer page's script, as sim/CMakeLists.txt puts it between its tags.
    explorer = "\n" + "".join(path.read_text(encoding="utf-8")
                               for path in page_scripts(sim, "explorer")) + "\n"
    # The explorer's look for its code view, which the lab's shows too.
    look = (sim / "explore/explore_page.html").read_text(encoding="utf-8").splitlines()
    code_style = "\n".join(line for line in look if line.startswith((".code ", ".codenote ")))
    csp = ("default-src 'none'; script-src " + " ".join(map(digest, (lab, explorer))) +
           " 'wasm-unsafe-eval'; worker-src blob:; connect-src data:; style-src 'unsafe-inline'; img-src data:;"
           " frame-src 'self'; base-uri 'none'; form-action 'none'")
    # The levels' list, with their pars: sim/lab/levels.json, which
    # listpool-levels writes (scripts/make-lab.sh).
    levels = (source / "levels.json").read_text(encoding="utf-8").strip().replace("<", "\\u003c")
    guard = guard_html((ROOT / "docs/GUARD.md").read_text(encoding="utf-8"))
    for key, text in (("@SOURCES@", sources_digest()), ("@LEVELS@", levels), ("@GUARD@", guard), ("@CSP@", csp),
                      ("@CODESTYLE@", code_style), ("@WORKER@", worker),
                      ("@ENGINE@", engine), ("@LAB@", lab)):
        page = page.replace(key, text, 1)
    # Made at every build, written only when it changes.
    if not output.exists() or output.read_text(encoding="utf-8") != page:
        output.write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main()
