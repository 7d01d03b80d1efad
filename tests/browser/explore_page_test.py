#!/usr/bin/python3
"""The explorer pages in a real browser: Debian's Chromium, headless, driven
by Debian's python3-selenium and chromium-driver (scripts/deps.sh installs
them; without them this test fails, it never skips).

Each broken guard's shortest failure, played from its link, is marked at
its last step; those choices on the real guard break nothing; a schedule
comes back from the address's fragment; back, forward, a click on a step
and a thread's digit move through it; a thread that cannot go on says what
it waits for and who holds it; and a fair cycle's lap, gone round again,
comes back to the same state.

  explore_page_test.py DOCS [SCREENSHOT]
"""
import json
import sys
import tempfile
import unittest
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

DOCS = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else Path("docs").resolve()
SCREENSHOT = sys.argv[2] if len(sys.argv) > 2 else None
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--window-size=1400,1000"]


def data_of(page):
    text = (DOCS / page).read_text(encoding="utf-8")
    start = text.index(">", text.index('<script id="data"')) + 1
    return json.loads(text[start:text.index("</script>", start)])


def steps_of(data, choices):
    """The number of steps the page's walk takes along the choices (as its script does)."""
    node, k, steps = 0, 0, 0
    while node != -1:
        bits, edges = data["nodes"][node][0], data["nodes"][node][1]
        if bin(bits).count("1") > 1:
            if k == len(choices):
                break
            thread, k = choices[k], k + 1
        else:
            thread = bits.bit_length() - 1
        targets = [edges[i + 1] for i in range(0, len(edges), 2) if edges[i] == thread]
        if not targets:
            break
        node, steps = targets[0], steps + 1
    return steps


class ExplorePageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in FLAGS:
            options.add_argument(flag)
        cls.profile = tempfile.TemporaryDirectory()
        options.add_argument("--user-data-dir=" + cls.profile.name)
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.profile.cleanup()

    def open(self, page, fragment=""):
        self.browser.get((DOCS / page).as_uri() + fragment)
        if fragment:
            self.browser.refresh()  # a new fragment alone does not load the page again
        self.assertIsNotNone(self.browser.find_element(By.ID, "command"))

    def steps(self, cls=""):
        return [int(li.get_attribute("data-step"))
                for li in self.browser.find_elements(By.CSS_SELECTOR, "#steps li" + cls)]

    def status(self, prop):
        return self.browser.find_element(
            By.CSS_SELECTOR, f'#properties li[data-name="{prop}"] .status').get_attribute("class")

    def at(self):
        return int(self.browser.find_element(By.TAG_NAME, "body").get_attribute("data-at"))

    def play(self, prop):
        self.browser.find_element(By.CSS_SELECTOR, f'#properties li[data-name="{prop}"] a.play').click()

    def test_shortest_failure_is_marked_at_its_step_and_breaks_nothing_on_the_real_guard(self):
        data = data_of("explore-guard-without-recheck.html")
        choices = next(p for p in data["properties"] if p["name"] == "exclusion")["choices"]
        length = steps_of(data, choices)
        self.open("explore-guard-without-recheck.html")
        self.play("exclusion")
        self.assertEqual(self.steps(), list(range(length)))
        self.assertEqual(self.steps(".broken"), [length - 1])
        self.assertIn("bad", self.status("exclusion"))
        self.assertTrue(self.steps(".parted"), "the real guard beside it does not part from it")
        if SCREENSHOT:
            self.browser.save_screenshot(SCREENSHOT)
        text = " ".join(map(str, choices))
        # The same choices, from the address, on the real guard.
        self.open("explore-guard.html", "#scene=correct&replay=" + text.replace(" ", "%20"))
        correct = data_of("explore-guard.html")
        self.assertEqual(self.at(), steps_of(correct, choices))
        self.assertEqual(self.steps(".broken"), [])
        for prop in ("exclusion", "no deadlock", "writers get in", "readers pass the gate"):
            self.assertIn("ok", self.status(prop))
        # And on the broken guard, from the address.
        self.open("explore-guard-without-recheck.html", "#scene=without-recheck&replay=" + text)
        self.assertEqual(self.steps(".broken"), [length - 1])
        self.assertIn(f"--replay without-recheck '{text}'",
                      self.browser.find_element(By.ID, "command").get_attribute("value"))

    def test_back_forward_steps_and_digits_move_through_the_schedule(self):
        self.open("explore-guard-without-recheck.html")
        self.play("exclusion")
        end = self.at()
        body = self.browser.find_element(By.TAG_NAME, "body")
        body.send_keys(Keys.ARROW_LEFT, Keys.ARROW_LEFT)
        self.assertEqual(self.at(), end - 2)
        self.assertEqual(self.steps(".current"), [end - 3])
        # Writer 3 has found noReadersEvent set and waits for countMutex,
        # which reader 1 holds until its next call.
        waiting = self.browser.find_element(By.CSS_SELECTOR, '#threads button[data-thread="3"]')
        self.assertFalse(waiting.is_enabled())
        self.assertIn("waits for countMutex, held by reader 1", waiting.text)
        body.send_keys(Keys.ARROW_RIGHT)
        self.assertEqual(self.at(), end - 1)
        body.send_keys("3")  # writer 3, the step taken next before
        self.assertEqual(self.at(), end)
        self.assertEqual(self.steps(".broken"), [end - 1])
        self.browser.find_elements(By.CSS_SELECTOR, "#steps li")[4].click()
        self.assertEqual(self.at(), 5)
        self.assertEqual(len(self.steps()), end, "going back drops the steps after it")

    def test_fair_cycle_lap_comes_round_again(self):
        data = data_of("explore-guard-without-second-reset.html")
        prop = next(p for p in data["properties"] if p["cycle"])
        prefix = steps_of(data, prop["prefix"])
        self.open("explore-guard-without-second-reset.html")
        self.play(prop["name"])
        lap = self.steps(".lap")
        self.assertEqual(lap[0], prefix)
        self.assertIn("bad", self.status(prop["name"]))
        node = self.browser.find_element(By.TAG_NAME, "body").get_attribute("data-node")
        self.browser.find_element(By.ID, "again").click()
        self.assertEqual(len(self.steps()), prefix + 2 * len(lap))
        self.assertEqual(self.steps(".lap"), [prefix + len(lap) + k for k in range(len(lap))])
        self.assertEqual(self.browser.find_element(By.TAG_NAME, "body").get_attribute("data-node"),
                         node, "the lap does not come back to its state")
        self.assertIn("round 2", self.browser.find_element(By.ID, "lapinfo").text)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
