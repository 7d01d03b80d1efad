#!/usr/bin/env python3
"""Draws sessions with listpool-sim --svg and --trace and checks both files.

The SVG must be well-formed XML, every shape must sit where its recorded
times put it, and its tracks, sections, waits, pauses, guard states, commands
and lines must be the trace's. A known session must also show what the
program does: the print reads the list from 0.2 s to 10.2 s, the console
waits at the list's guard until the print leaves, and the delete writes the
list after that.

usage: check_timeline.py LISTPOOL_SIM SESSION...
"""
import collections
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "{http://www.w3.org/2000/svg}"
KNOWN = "i 7 9 -1\np\nd 7\nq\n"


def draw(sim, session):
    with tempfile.TemporaryDirectory() as folder:
        svg = os.path.join(folder, "timeline.svg")
        trace = os.path.join(folder, "timeline.json")
        subprocess.run([sim, "--svg", svg, "--trace", trace, session], check=True,
                       stdout=subprocess.DEVNULL)
        root = ET.parse(svg).getroot()  # raises on a file that is not XML
        with open(trace, encoding="ascii") as f:
            events = json.load(f)["traceEvents"]
    return root, events


def ms(value):
    return int(value)


def from_svg(root):
    """The record as the picture draws it."""
    assert root.tag == NS + "svg", root.tag
    left = float(root.get("data-plot-left"))
    scale = float(root.get("data-px-per-ms"))
    drawn = collections.defaultdict(list)
    for element in root.iter():
        cls = element.get("class")
        if element.get("data-begin-ms") is not None and element.tag == NS + "rect":
            begin, end = ms(element.get("data-begin-ms")), ms(element.get("data-end-ms"))
            x, width = float(element.get("x")), float(element.get("width"))
            middle = left + scale * (begin + end) / 2
            # Narrow shapes are widened about their middle.
            assert abs(x + width / 2 - middle) < 0.02, (cls, begin, end, x, width)
            assert width + 0.01 >= scale * (end - begin), (cls, begin, end, width)
            assert element.find(NS + "title") is not None, (cls, begin)
        if cls == "track":
            drawn["threads"].append((int(element.get("data-thread")), element.get("data-name")))
        elif cls == "section":
            drawn["sections"].append((int(element.get("data-thread")), element.get("data-guard"),
                                      element.get("data-mode"), ms(element.get("data-begin-ms")),
                                      ms(element.get("data-end-ms"))))
        elif cls == "band" and element.get("data-kind") != "running":
            drawn["bands"].append((int(element.get("data-thread")), element.get("data-kind"),
                                   element.get("data-on"), ms(element.get("data-begin-ms")),
                                   ms(element.get("data-end-ms"))))
        elif cls == "guard" and element.get("data-state") != "idle":
            drawn["guards"].append((element.get("data-guard"), element.get("data-state"),
                                    int(element.get("data-readers")),
                                    int(element.get("data-writer")),
                                    ms(element.get("data-begin-ms")),
                                    ms(element.get("data-end-ms"))))
        elif cls == "command":
            drawn["commands"].append((ms(element.get("data-ms")), element.get("data-label")))
        elif cls == "line":
            drawn["lines"].append((int(element.get("data-thread")), element.get("data-file"),
                                   ms(element.get("data-ms"))))
    return drawn


def from_trace(events):
    """The record as the trace holds it."""
    traced = collections.defaultdict(list)
    guard_names = {}
    for e in events:
        if e["ph"] == "M" and e["name"] == "thread_name":
            if e["pid"] == 1:
                traced["threads"].append((e["tid"], e["args"]["name"]))
            else:
                guard_names[e["tid"]] = e["args"]["name"]
    for e in events:
        if e["ph"] == "X":
            assert e["ts"] % 1000 == 0 and e["dur"] % 1000 == 0, e  # whole ms, in us
            begin, end = e["ts"] // 1000, (e["ts"] + e["dur"]) // 1000
            a = e["args"]
            if e["cat"] == "section":
                traced["sections"].append((e["tid"], a["guard"], a["mode"], begin, end))
            elif e["cat"] in ("wait", "pause"):
                traced["bands"].append((e["tid"], a["kind"], a["on"], begin, end))
            elif e["cat"] == "guard":
                traced["guards"].append((guard_names[e["tid"]], a["state"], a["readers"],
                                         a["writer"], begin, end))
        elif e["ph"] == "i" and e["cat"] == "command":
            traced["commands"].append((e["ts"] // 1000, e["name"][len("command "):]))
        elif e["ph"] == "i" and e["cat"] == "line":
            traced["lines"].append((e["tid"], e["args"]["file"], e["ts"] // 1000))
    return traced


def check_known(drawn, events):
    names = dict(drawn["threads"])
    assert names == {0: "console", 1: "print 1"}, names
    sections = drawn["sections"]
    assert (1, "list", "read", 200, 10200) in sections, sections
    waits = [b for b in drawn["bands"] if b[0] == 0 and b[2] == "list"]
    assert waits, drawn["bands"]
    assert all(end == 10200 for (_, _, _, _, end) in waits), waits
    writes = [s for s in sections if s[0] == 0 and s[1] == "list" and s[2] == "write"]
    assert [s[3] for s in writes] == [0, 10200, 10600], writes
    read = [e for e in events if e["ph"] == "X" and e["cat"] == "section" and e["tid"] == 1]
    assert [(e["ts"], e["dur"]) for e in read] == [(200000, 10000000)], read


def main():
    sim, sessions = sys.argv[1], sys.argv[2:]
    with tempfile.NamedTemporaryFile("w", suffix=".session", delete=False) as known:
        known.write(KNOWN)
    try:
        for session in [known.name] + sessions:
            root, events = draw(sim, session)
            drawn, traced = from_svg(root), from_trace(events)
            for what in ("threads", "sections", "bands", "guards", "commands", "lines"):
                assert drawn[what], (session, what)
                assert sorted(drawn[what]) == sorted(traced[what]), (session, what)
            if session == known.name:
                check_known(drawn, events)
            print(f"{session}: {len(drawn['bands'])} waits and pauses, "
                  f"{len(drawn['sections'])} sections, the SVG and the trace agree")
    finally:
        os.unlink(known.name)


if __name__ == "__main__":
    main()
