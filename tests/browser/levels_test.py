#!/usr/bin/python3
"""The levels' pages (listpool-levels --explore) in Debian's Chromium, headless.

Each level is won by its shortest schedule at exactly its par, and not one
step before; its hints equal the native distances to its goal in every
state; on random walks, every win the page claims is checked here against
the goal as the level states it (a state's threads inside and waiting, or a
lap that is weakly fair and keeps a waiting writer or reader out); a level
is played with the keyboard alone; the panel that says so is clean to
axe-core at 1400 and 360 px.

  levels_test.py LISTPOOL_LEVELS [AXE_DIR]
"""
import json
import random
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from chromium import Chromium, axe_findings, axe_script

TOOL = sys.argv[1] if len(sys.argv) > 1 else "build/sim/listpool-levels"
AXE_DIR = Path(sys.argv[2] if len(sys.argv) > 2 else tempfile.gettempdir() + "/listpool-axe")


def bits(hexset):
    return {t for t in range(4 * len(hexset)) if int(hexset[-1 - t // 4], 16) >> (t % 4) & 1}


class Data:
    """A page's data, read as the checks here need it."""

    def __init__(self, data):
        self.d = data
        self.columns = 1 + len(data["threadColumns"])

    def texts(self, node):
        d = self.d
        return [d["strings"][i] for g in d["nodes"][node][2] for i in d["groups"][g]]

    def enabled(self, node):
        return bits(self.d["nodes"][node][0])

    def thread(self, node, t):
        texts = self.texts(node)
        return texts[t * self.columns:(t + 1) * self.columns]  # call, line, inside

    def reached(self, path, k):
        """Whether the goal is reached after k steps of path ([thread, to] each), as the level
        says it: for a state, the threads inside and waiting; for a lap, one back at an earlier
        state that is weakly fair and keeps a writer or reader out (any lap for "every run
        ends"); for a property, a failure the page's data names."""
        goal, level = self.d["goal"], self.d["goal"]["level"]
        node_at = lambda i: 0 if i == 0 else path[i - 1][1]
        if level["kind"] == "state":
            node = node_at(k)
            if node < 0:
                return False
            rows = [self.thread(node, t) for t in range(len(self.d["threads"]))]
            inside, waits = [r[2] for r in rows], level["waits"]
            return (inside.count("reading") >= level["inside"][0] and
                    inside.count("writing") >= level["inside"][1] and
                    (not waits or any(r[0] == waits + "->Lock()" and t not in self.enabled(node)
                                      for t, r in enumerate(rows))))
        if level["kind"] == "property":
            failures = self.d["properties"][goal["property"]]["failures"]
            named = {tuple(self.d["failures"][f][:2]) for f in failures}
            last = path[k - 1]
            return ((node_at(k - 1), last[0]) in named if last[1] < 0 else (last[1], -1) in named)
        end = node_at(k)
        for j in range(k):
            if node_at(j) != end or end < 0:
                continue
            stepped = {path[i][0] for i in range(j, k)}
            if goal["property"] == 3:
                return True
            nodes = [node_at(i) for i in range(j, k)]
            always = set.intersection(*(self.enabled(n) for n in nodes))
            if not always <= stepped:
                continue
            writers = goal["property"] == 4
            for t in range(1, len(self.d["threads"])):
                call, _, inside = self.thread(node_at(j), t)
                if (t not in stepped and (t > level["readers"]) == writers and not inside and
                        call not in ("ended", "not started")):
                    return True
        return False


class LevelsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.axe = axe_script(AXE_DIR)
        cls.dir = tempfile.TemporaryDirectory()
        cls.levels = [L for L in json.loads(subprocess.run(
            [TOOL], check=True, capture_output=True, text=True).stdout) if L["kind"] != "fix"]
        for L in cls.levels:
            subprocess.run([TOOL, "--explore", L["name"], f"{cls.dir.name}/{L['name']}.html"],
                           check=True)
        cls.chromium = Chromium("1400,1000")
        cls.browser = cls.chromium.browser

    @classmethod
    def tearDownClass(cls):
        cls.chromium.close()
        cls.dir.cleanup()

    def open(self, name):
        self.browser.get("about:blank")
        self.browser.get(Path(f"{self.dir.name}/{name}.html").as_uri())
        return Data(self.browser.execute_script("return Explorer.data"))

    def won(self):
        return self.browser.find_element(By.TAG_NAME, "body").get_attribute("data-won")

    def take(self, steps, k):
        self.browser.execute_script("Explorer.take(arguments[0]); Explorer.goTo(arguments[1])",
                                    steps, k)

    def axe_findings(self):
        return axe_findings(self.browser, self.axe, None)

    def test_each_level_is_won_at_par_and_its_hints_are_the_native_distances(self):
        """Its par is in the list; its shortest schedule wins at par and not a step before, in
        the level's own judgement and here; the hint at each state is its native distance."""
        for L in self.levels:
            with self.subTest(level=L["name"]):
                data = self.open(L["name"])
                goal = data.d["goal"]
                self.assertEqual(goal["par"], L["par"])
                native = json.loads(subprocess.run([TOOL, "--hints", L["name"]], check=True,
                                                   capture_output=True, text=True).stdout)
                self.assertEqual(self.browser.execute_script(
                    "return Array.from(Explorer.distances())"), native)
                steps = self.browser.execute_script(
                    "return Explorer.follow(arguments[0])", goal["choices"])
                self.assertGreaterEqual(len(steps), L["par"])
                steps = steps[:L["par"]]
                path = [[s["thread"], s["to"]] for s in steps]
                self.take(steps, L["par"] - 1)
                self.assertEqual(self.won(), "")
                self.assertFalse(any(data.reached(path, k) for k in range(1, L["par"])))
                self.take(steps, L["par"])
                self.assertEqual(self.won(), str(L["par"]))
                self.assertTrue(data.reached(path, L["par"]))
                self.assertIn(f"In {L['par']} steps; par is {L['par']} (at par)",
                              self.browser.find_element(By.ID, "won").text)

    def test_every_win_claimed_on_random_walks_is_the_levels_goal(self):
        """Walks of random choices, seeded, and walks that favour one thread: the step at which
        the page says the goal is first reached is the one found here."""
        rng = random.Random(36)
        claims = 0
        for L in self.levels:
            data = self.open(L["name"])
            # Random walks, and walks that let one thread go whenever it can, whose laps
            # are seldom fair.
            for walk in range(6 + len(data.d["threads"])):
                path, node = [], 0
                while node >= 0 and len(path) < 120 and data.d["nodes"][node][1]:
                    taken = data.d["nodes"][node][1]
                    i = 2 * rng.randrange(len(taken) // 2)
                    if walk >= 6 and walk - 6 in taken[::2]:
                        i = taken[::2].index(walk - 6) * 2
                    path.append([taken[i], taken[i + 1]])
                    node = taken[i + 1]
                self.take([{"thread": t, "to": to} for t, to in path], len(path))
                won = self.won()
                first = next((k for k in range(1, len(path) + 1) if data.reached(path, k)), None)
                with self.subTest(level=L["name"], walk=walk):
                    self.assertEqual(won, "" if first is None else str(first))
                claims += won != ""
        self.assertGreater(claims, 10)

    def test_a_level_played_by_keyboard_alone(self):
        """Digits choose, N skips what is forced, H shows the hint; the focus stays put."""
        data = self.open("without-recheck")
        body = self.browser.find_element(By.TAG_NAME, "body")
        body.send_keys("h")
        self.assertEqual(self.browser.find_element(By.ID, "hinttext").text,
                         f"{data.d['goal']['par']} steps to the goal.")
        for choice in data.d["goal"]["choices"]:
            body.send_keys("n")
            body.send_keys(str(choice))
        self.assertEqual(self.won(), str(data.d["goal"]["par"]))
        self.assertEqual(self.browser.switch_to.active_element.tag_name, "body")
        self.assertEqual(self.browser.find_element(By.ID, "wontitle").text, "You broke it")
        self.assertEqual(self.axe_findings(), [])
        self.browser.set_window_size(360, 800)
        self.assertLessEqual(self.browser.execute_script(
            "return document.documentElement.scrollWidth"), 360)
        self.assertEqual(self.axe_findings(), [])
        self.browser.set_window_size(1400, 1000)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
