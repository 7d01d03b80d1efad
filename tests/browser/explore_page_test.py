#!/usr/bin/python3
"""The explorer pages in a real browser: Debian's Chromium, headless, driven
by Debian's python3-selenium and chromium-driver (scripts/deps.sh installs
them; without them this test fails, it never skips), with axe-core pinned
from npm (installed into AXE_DIR on first use).

The code beside the state marks each thread's next call on the line of the
source file that makes it, and strikes through what each broken guard's
own source leaves out; a shortest failure is marked at its step and breaks
nothing on the real guard; a failure can be played and stepped through by
keyboard alone, the focus staying on the control used; the real guard
beside a fair cycle's lap keeps its gate closed, and the page names the
writer docs/GUARD.md names; at 360 px nothing scrolls sideways; axe-core
finds nothing serious.

  explore_page_test.py DOCS [AXE_DIR]
"""
import re
import sys
import tempfile
import unittest
from pathlib import Path
from urllib.parse import quote

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from chromium import Chromium, axe_findings, axe_script
from page_source import broken_body, function_at, page_data, statements, steps_of

DOCS = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else Path("docs").resolve()
SOURCE = DOCS.parent
AXE_DIR = Path(sys.argv[2] if len(sys.argv) > 2 else tempfile.gettempdir() + "/listpool-axe")
GUARDS = {"explore-guard.html": None, "explore-guard-without-recheck.html": "without-recheck",
          "explore-guard-without-second-reset.html": "without-second-reset"}


class ExplorePageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.axe = axe_script(AXE_DIR)
        cls.source = (SOURCE / "store/read_write_guard.cpp").read_text(encoding="utf-8").split("\n")
        cls.chromium = Chromium("1400,1000")
        cls.browser = cls.chromium.browser

    @classmethod
    def tearDownClass(cls):
        cls.chromium.close()

    def setUp(self):
        self.browser.set_window_size(1400, 1000)

    def open(self, page, fragment=""):
        if fragment:  # a new fragment alone would not load the page again
            self.browser.get("about:blank")
        self.browser.get((DOCS / page).as_uri() + fragment)
        self.assertIsNotNone(self.browser.find_element(By.ID, "command"))

    def find(self, css):
        return self.browser.find_element(By.CSS_SELECTOR, css)

    def steps(self, cls=""):
        return [int(li.get_attribute("data-step"))
                for li in self.browser.find_elements(By.CSS_SELECTOR, "#steps li" + cls)]

    def status(self, prop):
        return self.find(f'#properties li[data-name="{prop}"] .status').get_attribute("class")

    def at(self):
        return int(self.find("body").get_attribute("data-at"))

    def play(self, prop):
        self.find(f'#properties li[data-name="{prop}"] .play').click()

    def go(self, k):
        self.browser.execute_script("Explorer.goTo(arguments[0])", k)

    def axe_findings(self):
        return axe_findings(self.browser, self.axe, ["serious", "critical"])

    def states(self, steps, side="mine"):
        """Each thread's row of the state table on a side, its rows and its code's marks, at
        each step given, read in one go."""
        return self.browser.execute_script("""
        return arguments[0].map((k) => {
            Explorer.goTo(k);
            const [table, more] = document.querySelectorAll(`#${arguments[1]} table`);
            const head = [...table.rows[0].cells].map((c) => c.textContent);
            const threads = [...table.rows].slice(1).map((r) => Object.fromEntries(
                [...r.cells].map((c, i) => [head[i], c.textContent])));
            const rows = Object.fromEntries([...more.rows].map((r) => [r.cells[0].textContent,
                                                                      r.cells[1].textContent]));
            const marks = [...document.querySelectorAll(`#${arguments[1]} .code .mark`)].map((m) =>
                [Number(m.dataset.thread), Number(m.parentNode.dataset.line)]);
            return {k, threads, rows, marks};
        });""", steps, side)

    def check_code_view(self, page, steps):
        """Every thread in one of the guard's sequences (by its place, or on a session's page by
        the item of GUARD.md beside its call) is marked on the line of the source that makes its
        next call."""
        marked = 0
        for state in self.states(steps):
            marks = dict(state["marks"])
            for t, row in enumerate(state["threads"]):
                name, where = row["thread"].split(" ", 1)[1], f"{page}, step {state['k']}"
                item = re.match(r"(\w+), step (\d+): ", row["why"])
                place = re.match(r"in (\w+)", row.get("place", "")) or item
                call = re.sub(r"^(pool|list) ", "", row["next call"])
                if not place or call in ("begins", "SleepMs()"):
                    continue
                line = marks.pop(t, None)
                self.assertIsNotNone(line, f"{where}: {row} has no mark")
                self.assertEqual(self.source[line - 1].strip(), call + ";", where)
                self.assertIn(line, function_at(self.source, f"void ReadWriteGuard::{place[1]}() {{"))
                if call == "gateEvent->ResetEvent()":
                    second = item[2] == "3" if "place" not in row else \
                        state["rows"]["writerMutex"] == "held by " + name
                    resets = [n for n in function_at(self.source, "void ReadWriteGuard::WriterArrives() {")
                              if self.source[n - 1].strip() == "gateEvent->ResetEvent();"]
                    self.assertEqual(line, resets[-1 if second else 0], f"{where}: {name}'s reset")
                marked += 1
            self.assertEqual(marks, {}, f"{page}: marks for threads in no sequence")
        self.assertGreater(marked, len(steps) // 2, f"{page}: too few threads in the guard's code")

    def check_narrow(self, page, axe):
        """On a phone 360 px wide the page is laid out 360 px wide (its viewport tag), nothing
        scrolls sideways, no text is under 12 px, and axe finds nothing serious."""
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 360, "height": 800, "deviceScaleFactor": 1, "mobile": True})
        self.assertEqual(self.browser.execute_script("return innerWidth"), 360, page)
        wide, small = self.browser.execute_script("""
            const e = document.documentElement;
            const small = [...document.querySelectorAll('body *')].filter((x) => x.childNodes.length &&
                [...x.childNodes].some((c) => c.nodeType === 3 && c.textContent.trim()) &&
                x.getClientRects().length && parseFloat(getComputedStyle(x).fontSize) < 12);
            return [e.scrollWidth - e.clientWidth, small.map((x) => x.tagName + ' ' + x.className)];""")
        self.assertLessEqual(wide, 0, f"{page} scrolls sideways at 360 px")
        self.assertEqual(small, [], f"{page}: text under 12 px")
        if axe:
            self.assertEqual(self.axe_findings(), [], f"{page} at 360 px")
        self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_code_view_marks_each_threads_line_and_strikes_what_a_broken_guard_leaves_out(self):
        """And on every page, at load, after playing each failure, mid-lap and narrow, axe-core
        finds nothing serious."""
        self.open("explore-example.html")
        self.assertEqual(self.at(), 0, "the example opens at its start")
        self.check_code_view("explore-example.html", list(range(18, 49, 2)))
        self.assertEqual(self.axe_findings(), [], "the example at load")
        self.check_narrow("explore-example.html", axe=False)
        for page, broken in GUARDS.items():
            data = page_data(DOCS, page)
            self.open(page)
            self.assertIn(data["title"], self.browser.title)
            self.assertEqual(self.axe_findings(), [], f"{page} at load")
            # Along each failure, and along a walk that lets each thread go in turn.
            self.browser.execute_script("""
                const D = Explorer.data, walk = [];
                let node = 0, turn = 0;
                while (walk.length < 60 && node !== -1 && D.nodes[node][1].length) {
                    const s = D.nodes[node][1], pick = 2 * (turn++ % (s.length / 2));
                    walk.push({thread: s[pick], to: s[pick + 1]}); node = s[pick + 1];
                }
                Explorer.take(walk);""")
            self.check_code_view(page, list(range(0, 61, 4)))
            for prop in [p["name"] for p in data["properties"] if p["failures"] or p["cycle"]]:
                self.play(prop)
                lap = self.steps(".lap")
                self.check_code_view(page, list(range(self.at(), 0, -3)) + lap[len(lap) // 2:][:1])
                self.assertEqual(self.axe_findings(), [], f"{page}: {prop}, played" + (" mid-lap" * bool(lap)))
            struck = [(int(line.get_attribute("data-line")), line.text)
                      for line in self.browser.find_elements(By.CSS_SELECTOR, "#mine .code .line.struck")]
            if broken is None:
                self.assertEqual(struck, [])
                continue
            self.check_narrow(page, axe=broken == "without-recheck")
            real = function_at(self.source, "void ReadWriteGuard::WriterArrives() {")
            mine = [self.source[n - 1] for n in real]
            text = (SOURCE / f"sim/guards/texts/{broken}.guard").read_text(encoding="utf-8")
            theirs = broken_body(text.split("\n"))
            left_out = statements(mine[1:-1])
            for s in statements(theirs[1:-1]):
                left_out.remove(s)
            struck_code = [(n, self.source[n - 1].strip()) for n, _ in struck
                           if not self.source[n - 1].strip().startswith("//")]
            self.assertEqual([s for _, s in struck_code], left_out, page)
            self.assertTrue(all(n in real for n, _ in struck))

    def test_shortest_failure_is_marked_at_its_step_and_breaks_nothing_on_the_real_guard(self):
        data = page_data(DOCS, "explore-guard-without-recheck.html")
        choices = next(p for p in data["properties"] if p["name"] == "exclusion")["choices"]
        length = steps_of(data, choices)
        self.open("explore-guard-without-recheck.html")
        self.play("exclusion")
        self.assertEqual(self.steps(), list(range(length)))
        self.assertEqual(self.steps(".broken"), [length - 1])
        self.assertIn("bad", self.status("exclusion"))
        self.assertTrue(self.steps(".parted"), "the real guard beside it does not part from it")
        text = " ".join(map(str, choices))
        # The same choices, from the address, on the real guard.
        self.open("explore-guard.html", "#scene=correct&replay=" + text.replace(" ", "%20"))
        correct = page_data(DOCS, "explore-guard.html")
        self.assertEqual(self.at(), steps_of(correct, choices))
        self.assertEqual(self.steps(".broken"), [])
        for prop in ("exclusion", "no deadlock", "writers get in", "readers pass the gate"):
            self.assertIn("ok", self.status(prop))
        # And on the broken guard, from the address.
        self.open("explore-guard-without-recheck.html", "#scene=without-recheck&replay=" + text)
        self.assertEqual(self.steps(".broken"), [length - 1])
        self.assertIn(f"--replay without-recheck '{text}'",
                      self.find("#command").get_attribute("value"))

    def focused(self):
        return self.browser.switch_to.active_element

    def test_a_failure_played_and_stepped_through_by_keyboard_alone(self):
        self.open("explore-guard-without-recheck.html")
        # From the property's name, one Tab reaches the button that plays it.
        self.find('#properties li[data-name="exclusion"] b').click()
        self.focused().send_keys(Keys.TAB)
        play = self.focused()
        self.assertEqual(play.get_attribute("class"), "play")
        play.send_keys(Keys.ENTER)
        end = self.at()
        self.assertEqual(self.steps(".broken"), [end - 1])
        self.assertEqual(self.focused(), play, "the focus left the control used")
        self.assertIn("exclusion broken here", self.find("#announce").text)
        play.send_keys(Keys.ARROW_LEFT, Keys.ARROW_LEFT)
        self.assertEqual(self.at(), end - 2)
        self.assertEqual(self.steps(".current"), [end - 3])
        # Writer 3 has found noReadersEvent set and waits for countMutex,
        # which reader 1 holds until its next call; its button says so and
        # can be reached.
        waiting = self.find('#threads button[data-thread="3"]')
        self.assertEqual(waiting.get_attribute("aria-disabled"), "true")
        waiting.send_keys(Keys.ENTER)
        self.assertEqual(self.at(), end - 2, "a blocked thread took a step")
        self.assertEqual(self.focused(), waiting)
        self.assertIn("waits for countMutex, held by reader 1", self.focused().text)
        self.focused().send_keys(Keys.ARROW_RIGHT, "3")  # writer 3, the step taken next before
        self.assertEqual(self.at(), end)
        self.assertEqual(self.steps(".broken"), [end - 1])
        self.assertIn(f"Step {end - 1}: writer 3", self.find("#announce").get_attribute("textContent"))
        # From the broken state the run goes on, the failure still marked.
        free = self.find('#threads button[aria-disabled="false"]').get_attribute("data-thread")
        self.focused().send_keys(free)
        self.assertEqual((self.at(), self.steps(".broken")), (end + 1, [end - 1]))
        self.assertIn(f"broken at step {end - 1}", self.find('#properties li[data-name="exclusion"]').text)
        self.focused().send_keys(Keys.ARROW_LEFT)
        # The steps: the current one takes the focus; up and Enter return to the one before.
        current = self.find("#steps li.current")
        self.assertEqual(current.get_attribute("tabindex"), "0")
        current.send_keys(Keys.ARROW_UP)
        self.focused().send_keys(Keys.ENTER)
        self.assertEqual(self.at(), end - 1)
        self.assertEqual(self.focused().get_attribute("data-step"), str(end - 2))
        self.focused().send_keys(Keys.HOME)
        self.assertEqual(self.at(), 0)
        self.assertEqual(len(self.steps()), end + 1, "going back drops no step")
        self.find("#copylink").send_keys(Keys.ENTER)
        self.assertEqual(self.find("#copied").text, "copied the link")

    def test_to_the_next_choice_takes_the_forced_steps_and_a_link_opens_at_its_step(self):
        data = page_data(DOCS, "explore-guard-without-recheck.html")

        def enabled(node):
            return bin(int(data["nodes"][node][0], 16)).count("1")

        self.open("explore-guard-without-recheck.html")
        forced = 0
        for _ in range(6):
            before = self.at()
            self.find("body").send_keys("n")
            steps = self.browser.execute_script("return Explorer.shown()")
            node = 0
            for k, step in enumerate(steps):
                if k >= before:
                    self.assertEqual(enabled(node), 1, f"step {k} was not forced")
                    forced += 1
                node = step["to"]
            # It stops at a choice, and at one it stays.
            self.assertGreater(enabled(node), 1, "it did not stop at a choice")
            self.find("#threads button[aria-disabled='false']").click()
        self.assertGreater(forced, 0)
        # The list shows each run of three or more forced steps as its first and last rows,
        # the first opening it to show them all; the numbers stay the steps'. The README's example has many.
        data = page_data(DOCS, "explore-example.html")
        self.open("explore-example.html")
        self.find("body").send_keys("n")
        steps = self.browser.execute_script("return Explorer.shown()")
        hidden = lambda: [int(li.get_attribute("data-step")) for li in self.browser
                          .find_elements(By.CSS_SELECTOR, "#steps li") if not li.is_displayed()]
        folded = hidden()
        self.assertTrue(folded)
        for k in folded:
            self.assertEqual(enabled(steps[k - 1]["to"] if k else 0), 1, f"step {k} not forced")
        button = self.find(f'#steps li[data-step="{folded[0] - 1}"] button.fold')
        self.assertEqual(button.get_attribute("aria-expanded"), "false")
        button.click()
        run = [k for n, k in enumerate(folded) if k == folded[0] + n]  # the first run's
        self.assertEqual(button.get_attribute("aria-expanded"), "true")
        self.assertFalse(set(run) & set(hidden()))
        self.assertEqual(int(self.find(f'#steps li[data-step="{folded[-1]}"]')
                             .get_attribute("value")), folded[-1])
        # A schedule to step through opens at its first step.
        self.open("explore-guard-without-recheck.html",
                  "#scene=without-recheck&replay=" + quote("0 0 1 1 1 3") + "&at=0")
        self.assertEqual(self.at(), 0)
        self.assertGreater(len(self.steps()), 6)

    def test_fair_cycle_lap_comes_round_again_with_the_real_guards_gate_closed(self):
        data = page_data(DOCS, "explore-guard-without-second-reset.html")
        prop = next(p for p in data["properties"] if p["cycle"])
        prefix = steps_of(data, prop["prefix"])
        self.open("explore-guard-without-second-reset.html")
        self.play(prop["name"])
        lap = self.steps(".lap")
        self.assertEqual(lap[0], prefix)
        self.assertIn("bad", self.status(prop["name"]))
        node = self.find("body").get_attribute("data-node")
        # Where GUARD.md's picture keeps a writer out, the page names the same.
        kept_out = re.search(r"from step \d+ (writer \d) is kept out",
                             (DOCS / "GUARD.md").read_text(encoding="utf-8"))[1]
        self.assertIn(f"{kept_out} never gets in", self.find("#fairness").text)
        steps = list(range(lap[0], lap[-1] + 2, 5))
        for state in self.states(steps, "theirs"):
            self.assertEqual(state["rows"]["gateEvent"], "reset", f"the real guard's gate at {state['k']}")
        for state in self.states(steps):
            writer = next(r for r in state["threads"] if r["thread"].endswith(kept_out))
            self.assertEqual(writer["next call"], "noReadersEvent->Lock()")
        self.go(len(lap) + prefix)
        self.find("#again").click()
        self.assertEqual(len(self.steps()), prefix + 2 * len(lap))
        self.assertEqual(self.steps(".lap"), [prefix + len(lap) + k for k in range(len(lap))])
        self.assertEqual(self.find("body").get_attribute("data-node"), node,
                         "the lap does not come back to its state")
        self.assertIn("round 2", self.find("#lapinfo").text)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
