#!/usr/bin/env python3
"""The explorer pages in docs/ show only what the program does.

For each page, the choices of many paths through its graph (each
property's shortest failure, a fair cycle's prefix and two laps, and
random walks) are replayed in a fresh simulator run, by the program the
page names (--views), and at every step the state the page holds must be
the state the run reached: who can go on, who went, and every text.

Then, as a control, the same comparison must fail on a copy of each page's
graph with one step led elsewhere, and with one text changed.

  check_pages.py GUARD_PAGES LISTPOOL_SIM SOURCE_DIR
"""
import json
import random
import subprocess
import sys

WALKS = 25
WALK_STEPS = 90


def page_data(path):
    text = open(path, encoding="utf-8").read()
    start = text.index('<script id="data" type="application/json">')
    start = text.index(">", start) + 1
    return json.loads(text[start:text.index("</script>", start)])


def texts(data, node):
    return [data["strings"][i] for g in data["nodes"][node][2] for i in data["groups"][g]]


def step_to(data, node, thread):
    steps = data["nodes"][node][1]
    for i in range(0, len(steps), 2):
        if steps[i] == thread:
            return steps[i + 1]
    return None


def threads_in(hexset):
    """The thread numbers, ascending, of a set of threads as the data writes
    it: the bits of their numbers in hexadecimal."""
    bits = int(hexset, 16)
    return [t for t in range(bits.bit_length()) if bits >> t & 1]


def follow(data, choices):
    """The page's walk: its states and the thread of each step, as its script takes them."""
    node, k, nodes, threads = 0, 0, [0], []
    while node != -1:
        enabled = threads_in(data["nodes"][node][0])
        if len(enabled) > 1:
            if k == len(choices):
                break
            thread = choices[k]
            k += 1
            if thread not in enabled:
                break
        else:
            thread = enabled[-1] if enabled else -1  # none: a deadlock
        to = step_to(data, node, thread)
        if to is None:
            break
        threads.append(thread)
        nodes.append(to)
        node = to
    return nodes, threads


def random_choices(data, rng):
    node, choices = 0, []
    for _ in range(WALK_STEPS):
        steps = data["nodes"][node][1]
        if not steps:
            break
        pick = rng.randrange(len(steps) // 2) * 2
        if len(threads_in(data["nodes"][node][0])) > 1:
            choices.append(steps[pick])
        node = steps[pick + 1]
        if node == -1:
            break
    return choices


def paths_of(data, seed):
    paths = []
    for prop in data["properties"]:
        if prop["choices"]:
            paths.append(prop["choices"])
        if prop["cycle"]:
            paths.append(prop["prefix"] + prop["lap"] + prop["lap"])
    rng = random.Random(seed)
    return paths + [random_choices(data, rng) for _ in range(WALKS)]


def replayed(command, paths, cwd):
    lines = "".join(" ".join(map(str, p)) + "\n" for p in paths)
    out = subprocess.run(command, input=lines, capture_output=True, text=True, cwd=cwd, check=True)
    runs, run = [], []
    for line in out.stdout.splitlines():
        if line == "end":
            runs.append(run)
            run = []
        else:
            run.append(json.loads(line))
    return runs


def differences(data, paths, runs):
    """Where the page's states differ from the runs', in words."""
    found = []
    for n, (choices, run) in enumerate(zip(paths, runs)):
        nodes, threads = follow(data, choices)
        if nodes[-1] == -1:
            nodes.pop()
        leaf = not data["nodes"][nodes[-1]][1]
        if len(run) < len(nodes) or (not leaf and len(run) != len(nodes)):
            found.append(f"path {n}: the page has {len(nodes)} states, the run {len(run)}")
            continue
        for k, node in enumerate(nodes):
            state = run[k]
            taken = threads[k] if k < len(threads) else -1
            if state["enabled"] != data["nodes"][node][0] or state["texts"] != texts(data, node) \
                    or (taken >= 0 and state["taken"] != taken):
                found.append(f"path {n}, step {k}: the page's state {node} is not the run's")
                break
    return found


def tampered(data, paths):
    """Copies of the page's data: one step of a path led to another state, and one text changed."""
    nodes, threads = follow(data, paths[-1])
    k = len(threads) // 2
    moved = json.loads(json.dumps(data))
    steps = moved["nodes"][nodes[k]][1]
    at = next(i for i in range(0, len(steps), 2) if steps[i] == threads[k])
    steps[at + 1] = next(m for m in range(len(data["nodes"]))
                         if m != nodes[k + 1] and texts(data, m) != texts(data, nodes[k + 1])
                         and data["nodes"][m][0] == data["nodes"][nodes[k + 1]][0])
    changed = json.loads(json.dumps(data))
    rows = data["nodes"][nodes[k]][2][-1]
    changed["strings"][data["groups"][rows][-1]] += " (changed)"
    return {"a step led elsewhere": moved, "a text changed": changed}


def main():
    guard_pages, sim, source = sys.argv[1:4]
    pages = [(f"explore-guard{suffix}.html", [guard_pages, "--views", name])
             for name, suffix in [("correct", ""), ("without-recheck", "-without-recheck"),
                                  ("without-second-reset", "-without-second-reset")]]
    pages.append(("explore-example.html", [sim, "--views", "docs/example.session"]))
    failed = False
    for seed, (page, command) in enumerate(pages):
        data = page_data(f"{source}/docs/{page}")
        paths = paths_of(data, seed)
        runs = replayed(command, paths, source)
        found = differences(data, paths, runs)
        steps = sum(len(follow(data, p)[1]) for p in paths)
        print(f"{page}: {len(paths)} paths, {steps} steps replayed: "
              + ("; ".join(found[:3]) if found else "every state as the run has it"))
        failed |= bool(found)
        for what, copy in tampered(data, paths).items():
            if not differences(copy, paths, runs):
                print(f"{page}: the check does not see {what}")
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
