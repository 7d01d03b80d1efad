"""How the lab's browser checks (lab_page_test.py, lab_guard_test.py,
lab_levels_test.py) drive docs/lab.html in Debian's Chromium: a test case
whose class has the page (LAB, a path) and axe-core's script (AXE) set by the
script that runs it; and the real guard's text as the workshop shows it.
"""
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "browser"))
from chromium import Chromium  # noqa: E402


def real_guard():
    """The four functions of the real guard, as the editor shows them."""
    source = Path(__file__).resolve().parents[2] / "store/read_write_guard.cpp"
    lines = source.read_text(encoding="utf-8").splitlines()
    functions = []
    for name in ("ReaderArrives", "ReaderLeaves", "WriterArrives", "WriterLeaves"):
        start = lines.index(f"void ReadWriteGuard::{name}() {{")
        functions.append("\n".join(lines[start:lines.index("}", start) + 1]))
    return "\n\n".join(functions) + "\n"


class LabCase(unittest.TestCase):
    LAB = None
    AXE = ""

    @classmethod
    def setUpClass(cls):
        cls.chromium = Chromium("1400,1000")
        cls.browser = cls.chromium.browser
        cls.browser.set_script_timeout(60)

    @classmethod
    def tearDownClass(cls):
        cls.chromium.close()

    def wait(self, script, seconds=30):
        end = time.time() + seconds
        while time.time() < end:
            value = self.browser.execute_script("return " + script)
            if value:
                return value
            time.sleep(0.05)
        self.fail(f"still not {script} after {seconds} s")

    def open(self, fragment=""):
        self.browser.get("about:blank")
        self.browser.get(self.LAB.as_uri() + fragment)
        self.wait("document.body.dataset.ready === '1'")
        self.wait("document.body.dataset.pending === '0'")

    def text(self, id_):
        return self.browser.execute_script(f"return document.getElementById('{id_}').textContent")

    def no_serious_violations(self, state):
        found = self.browser.execute_async_script(
            self.AXE + "\nconst done = arguments[arguments.length - 1];"
            "axe.run(document, {iframes: false}).then((r) => done(r.violations.filter("
            "(v) => v.impact === 'serious' || v.impact === 'critical').map("
            "(v) => v.id + ': ' + v.nodes.map((n) => n.target.join(' ')).join(', '))));")
        self.assertEqual(found, [], f"axe-core, {state}")
