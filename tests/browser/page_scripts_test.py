#!/usr/bin/env python3
"""The pages' scripts share one scope per page only through their namespaces,
without a browser: every script of sim/explore/ and sim/lab/ is in
sim/page_scripts.txt (or is the lab's worker); each gives the page's scope
one name, `const Name = (() => { ... })();`, and nothing else; a name is
given by one file only; and each file uses only the namespaces of the files
before it in the page's order, so that no page meets a name before it is
made. The worker's script gives no name at all. A control breaks each rule
on a copy of the sources and must be caught.

  page_scripts_test.py SIM_DIR
"""
import re
import sys
import unittest
from pathlib import Path

SIM = Path(sys.argv[1] if len(sys.argv) > 1 else "sim").resolve()
WORKER = "lab/lab_worker.js"
OPENING = re.compile(r"^const ([A-Z]\w*) = \(\(\) => \{$")


def page_lists(text):
    """{page: [file, ...]} from page_scripts.txt's lines "page: file"."""
    pages = {}
    for line in text.splitlines():
        if line.strip() and not line.startswith("#"):
            page, file = (part.strip() for part in line.split(":", 1))
            pages.setdefault(page, []).append(file)
    return pages


def top_level(text):
    """The lines of a script outside every comment and function, at column 0."""
    return [line for line in text.splitlines()
            if line and not line[0].isspace() and not line.startswith("//")]


def problems(sources):
    """What is wrong with `sources` ({path under sim/: text}), in words."""
    found = []
    pages = page_lists(sources["page_scripts.txt"])
    listed = {f for files in pages.values() for f in files}
    for path in sorted(p for p in sources if p.endswith(".js")):
        if path not in listed and path != WORKER:
            found.append(f"{path} is in no page's list")
    given = {}
    for path in sorted(listed | {WORKER}):
        if path not in sources:
            found.append(f"{path} is listed but missing")
            continue
        lines = top_level(sources[path])
        if path == WORKER:
            if lines != ["(() => {", "})();"]:
                found.append(f"{path} leaves names in the worker's scope: {lines}")
            continue
        opening = OPENING.match(lines[0]) if lines else None
        if not opening or lines[1:] != ["})();"]:
            found.append(f"{path} is not one namespace: {lines}")
            continue
        name = opening[1]
        if name in given:
            found.append(f"{name} is given by {given[name]} and {path}")
        given[name] = path
    for page, files in pages.items():
        made = set()
        for path in files:
            text = sources.get(path, "")
            for name, by in given.items():
                if by != path and re.search(rf"\b{name}\b", text) and name not in made:
                    found.append(f"{page}: {path} uses {name} before {by} makes it")
            made |= {n for n, by in given.items() if by == path}
    return found


class PageScriptsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sources = {p.relative_to(SIM).as_posix(): p.read_text(encoding="utf-8")
                       for p in [SIM / "page_scripts.txt", *SIM.glob("explore/*.js"),
                                 *SIM.glob("lab/*.js")]}

    def test_each_script_is_one_namespace_used_after_it_is_made(self):
        self.assertEqual(problems(self.sources), [])

    def test_each_rule_broken_is_caught(self):
        pages = page_lists(self.sources["page_scripts.txt"])
        lab, explorer = pages["lab"], pages["explorer"]
        last = explorer[-1]
        broken = {
            "a name left in the page's scope": {last: self.sources[last] + "let stray = 0;\n"},
            "a script in no list": {"explore/stray.js": "const Stray = (() => {\n})();\n"},
            "the lab before what it uses": {"page_scripts.txt": "\n".join(
                f"lab: {f}" for f in reversed(lab)) + "\n" + "\n".join(
                f"explorer: {f}" for f in explorer) + "\n"},
            "a namespace the lab does not load": {lab[-1]: self.sources[lab[-1]].replace(
                "'use strict';", "'use strict';\n    const {follow} = ExploreGraph;", 1)},
            "a name given twice": {last: self.sources[last].replace(
                OPENING.match(top_level(self.sources[last])[0])[0], "const PageKit = (() => {")},
            "a global in the worker": {WORKER: "let engine;\n" + self.sources[WORKER]},
        }
        for what, change in broken.items():
            with self.subTest(what):
                self.assertNotEqual(problems({**self.sources, **change}), [], what)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
