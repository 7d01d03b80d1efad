#!/usr/bin/python3
"""The lab's guard workshop (docs/lab.html) in Debian's Chromium, headless:
the editor starts with the real guard's four sequences as
store/read_write_guard.cpp has them, whose every verdict holds on both
default scenes with the states the compiled guard has; a learner who deletes
the writer's re-check sees exclusion fail, the reader beside the writer in
its shortest schedule with both guards' code marked, and a link that brings
the text, the verdicts and the schedule shown back; a refused text is said at
its line and column, never shown as markup, and leaves the page usable;
axe-core finds nothing serious in the workshop's states.

  lab_guard_test.py LAB_HTML AXE_JS [SCREENSHOT]
"""
import sys
import time
import unittest
from pathlib import Path
from urllib.parse import quote

from selenium.webdriver.common.by import By

sys.path.insert(0, str(Path(__file__).resolve().parent))
from lab_driver import LabCase, real_guard  # noqa: E402

LabCase.LAB = Path(sys.argv[1]).resolve()
LabCase.AXE = Path(sys.argv[2]).read_text(encoding="utf-8")
SCREENSHOT = sys.argv[3] if len(sys.argv) > 3 else None


RECHECK = """        if (readerCount == 0) {
            return;
        }
        countMutex->Unlock();
    }"""


def without_recheck():
    """The real guard with the writer's re-check deleted: it goes in once it
    holds countMutex, whatever the count."""
    text = real_guard()
    assert RECHECK in text
    return text.replace(RECHECK, "        return;\n    }")


# How the program's every-schedule report names a lock of a mutex by its owner.
HOLDS_ALREADY = "which it holds already"


class LabGuardTest(LabCase):
    def editor(self):
        return self.browser.execute_script("return document.getElementById('guardtext').value")

    def check(self):
        self.browser.find_element(By.ID, "check").click()
        self.wait("document.body.dataset.checked || "
                  "document.getElementById('guarderror').textContent", 60)

    def verdicts(self):
        """{(scene, verdict name): holds} from the table."""
        return {(int(k.split(".")[0]), name): holds == "true"
                for k, name, holds in self.browser.execute_script(
                    "return [...document.querySelectorAll('#verdicts td')].map((td) => "
                    "[td.dataset.verdict, td.closest('tr').querySelector('strong').textContent,"
                    " td.dataset.holds])")}

    def marks(self, side):
        """[(thread name, line)] marked in one of the shown schedule's two code views."""
        return sorted((m, int(line)) for m, line in self.browser.execute_script(
            f"return [...document.querySelectorAll('#shownschedule .pair > div:nth-child({side})"
            " .mark')].map((b) => [b.textContent.slice(2), b.closest('.line').dataset.line])"))

    def test_the_real_guard_holds_every_verdict_on_both_scenes(self):
        self.open()
        self.wait("document.getElementById('guardtext').value")
        self.assertEqual(self.editor(), real_guard())
        self.check()
        verdicts = self.verdicts()
        self.assertEqual(len(verdicts), 16)
        self.assertTrue(all(verdicts.values()), verdicts)
        head = self.text("verdicts")
        self.assertIn("56,718 states", head)
        self.assertIn("14,185 states", head)
        self.assertIn("Every schedule of 2 scenes checked", self.text("checknote"))
        self.no_serious_violations("the real guard checked")
        # A check stopped by its bound of states says so, and shows what it found.
        field = self.browser.find_element(By.ID, "guardstates")
        field.clear()
        field.send_keys("1000")
        self.check()
        self.assertIn("met the bound of 1,000 states", self.text("checknote"))
        self.assertEqual(len(self.verdicts()), 16)

    def test_a_deleted_recheck_fails_and_its_link_brings_it_all_back(self):
        self.open()
        self.wait("document.getElementById('guardtext').value")
        area = self.browser.find_element(By.ID, "guardtext")
        area.clear()
        area.send_keys(without_recheck())
        self.assertEqual(self.editor(), without_recheck())
        self.check()
        verdicts = self.verdicts()
        self.assertFalse(verdicts[(0, "exclusion")])
        self.assertTrue(verdicts[(0, "no deadlock")])
        cell = self.browser.find_element(By.CSS_SELECTOR, "td[data-verdict='0.0'] button")
        cell.click()
        self.wait("document.body.dataset.shown === '0.0'")
        mine, real = self.marks(1), self.marks(2)
        # A reader and a writer, both inside: marked in both guards' code.
        self.assertEqual({m.split()[0] for m, _ in mine}, {"reader", "writer"}, mine)
        self.assertEqual([m for m, _ in mine], [m for m, _ in real])
        lines = without_recheck().splitlines()
        for name, line in mine:
            self.assertTrue(lines[line - 1].strip().endswith(";"), (name, lines[line - 1]))
        self.assertIn("exclusion fails", self.text("shownschedule"))
        self.no_serious_violations("a failure shown")
        # Stepped through in the explorer: fourteen steps, the last breaking
        # exclusion with both threads inside the learner's guard, while the
        # real guard, on the same threads' steps, keeps the writer waiting
        # at a line of its code.
        self.browser.find_element(By.CSS_SELECTOR, "#shownschedule p > button").click()
        self.wait("document.body.dataset.guardexplored", 60)
        self.browser.switch_to.frame("guardexplorer")
        try:
            steps = self.browser.find_elements(By.CSS_SELECTOR, "#steps li")
            self.assertEqual(len(steps), 14)
            self.assertIn("exclusion broken", steps[-1].text)
            inside = self.browser.find_element(By.CSS_SELECTOR, "#mine .codenote").text
            for name, _ in mine:
                self.assertIn(name, inside)
            writer = next(m for m, _ in mine if m.startswith("writer"))
            theirs = self.browser.execute_script(
                "return [...document.querySelectorAll('#theirs .mark')].map((b) => "
                "b.textContent.slice(2))")
            self.assertIn(writer, theirs)
            # Made inside the lab, it has no address of its own: its link
            # is the lab's, with the learner's guard in it.
            self.browser.find_element(By.ID, "copylink").click()
            self.wait("document.getElementById('copied').textContent")
            self.assertIn("lab's link", self.text("copied"))
            link = self.browser.execute_script("return document.getElementById('link').value")
            self.assertTrue(link.startswith(self.LAB.as_uri() + "#") and "guard=" in link, link)
        finally:
            self.browser.switch_to.default_content()
        self.browser.find_element(By.ID, "copylink").click()
        link = self.wait("document.getElementById('link').value || location.href")
        self.assertIn("guard=", link)
        self.assertIn("shown=0.0", link)
        self.browser.get("about:blank")
        self.browser.get(link)
        self.wait("document.body.dataset.shown === '0.0'", 60)
        self.assertEqual(self.editor(), without_recheck())
        self.assertEqual(self.verdicts(), verdicts)
        self.assertEqual(self.marks(1), mine)
        self.assertEqual(self.marks(2), real)
        if SCREENSHOT:
            self.browser.set_window_size(1400, 2100)
            self.browser.execute_script(
                "document.getElementById('check').scrollIntoView()")
            time.sleep(0.3)
            self.browser.save_screenshot(SCREENSHOT)
            self.browser.set_window_size(1400, 1000)

    def test_a_refused_text_is_said_at_its_place_and_the_page_goes_on(self):
        self.open()
        self.wait("document.getElementById('guardtext').value")
        markup = '<img src=x onerror="document.title=1">'
        text = real_guard().replace("    ++readerCount;\n", f"    {markup};\n", 1)
        line = text.splitlines().index(f"    {markup};") + 1
        area = self.browser.find_element(By.ID, "guardtext")
        area.clear()
        area.send_keys(text)
        self.check()
        said = self.text("guarderror")
        self.assertTrue(said.startswith(f"Line {line}, column 5: "), said)
        self.assertFalse(self.browser.find_elements(By.CSS_SELECTOR, "img[src=x], [onerror]"))
        self.assertTrue(self.browser.title.startswith("listpool lab"))
        caret = self.browser.execute_script(
            "return document.getElementById('guardtext').selectionStart")
        self.assertEqual(caret, len("\n".join(text.splitlines()[:line - 1])) + 1 + 4)
        self.assertFalse(self.verdicts())
        self.browser.find_element(By.ID, "realguard").click()
        self.assertEqual(self.editor(), real_guard())
        self.assertEqual(self.text("guarderror"), "")
        self.no_serious_violations("a text refused")
        # A link's text past the bound is refused with a sentence; the real guard stays.
        self.open("#session=&guard=" + quote("x" * 20001))
        self.assertIn("cannot be opened", self.text("guarderror"))
        self.wait("document.getElementById('guardtext').value")
        self.assertEqual(self.editor(), real_guard())

    def test_the_session_runs_the_learners_guard(self):
        # A reader that comes in keeping countMutex: the print thread locks
        # it again on its way out.
        keeps = real_guard().replace(
            "    countMutex->Unlock();\n}\n\nvoid ReadWriteGuard::ReaderLeaves",
            "}\n\nvoid ReadWriteGuard::ReaderLeaves", 1)
        session = "@0 i 1 2 -1\n@0 p\n@0 q\n"
        self.open("#session=" + quote(session) + "&guard=" + quote(keeps) + "&use=1")
        self.wait("document.body.dataset.checked", 60)
        self.assertIn(HOLDS_ALREADY, self.search())
        # The console's code view and the scheduler's explorer show the
        # learner's text, not the real guard's.
        self.wait("document.querySelector('#code pre')")
        self.assertIn("your guard", self.browser.find_element(
            By.CSS_SELECTOR, "#code pre").get_attribute("aria-label"))
        self.browser.find_element(By.ID, "explore").click()
        self.wait("document.body.dataset.explored", 60)
        self.browser.switch_to.frame("explorer")
        try:
            self.assertIn("the guard text", self.browser.find_element(
                By.CSS_SELECTOR, "#mine pre").get_attribute("aria-label"))
            self.assertIn("line", self.browser.find_element(By.CSS_SELECTOR, "#mine table").text)
        finally:
            self.browser.switch_to.default_content()
        self.browser.find_element(By.ID, "realguard").click()
        self.assertNotIn(HOLDS_ALREADY, self.search())
        self.assertIn("exit 0", self.text("report"))

    def search(self):
        self.browser.execute_script("delete document.body.dataset.searched")
        self.browser.find_element(By.ID, "search").click()
        self.wait("document.body.dataset.searched", 60)
        return self.text("report")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
