#!/usr/bin/python3
"""The lab in the other engines learners use: Firefox ESR (Debian's
firefox-esr, driven over WebDriver BiDi by puppeteer-core from npm,
lab_firefox.mjs) and WebKit (Debian's WebKitGTK MiniBrowser, driven by
python3-selenium's WebKitGTK driver, under a virtual X display). In each, the
README's example typed at the prompt writes what the native simulator writes
for the session the page records, every schedule of it reports what the
native search reports, and a level is won at its par (lab_engines.js).

  lab_engines.py firefox|webkit LAB_HTML NATIVE_SIM [NPM_ROOT]
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ENGINE, LAB, SIM = sys.argv[1], Path(sys.argv[2]).resolve(), sys.argv[3]
NPM_ROOT = str(Path(sys.argv[4]).resolve()) if len(sys.argv) > 4 else ""
HERE = Path(__file__).resolve().parent
EXAMPLE = HERE.parents[1] / "docs/example.session"
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"


def native(*args):
    env = dict(os.environ)
    env.pop("LISTPOOL_SEARCH_REPLAY", None)
    return subprocess.run([SIM, *args], capture_output=True, check=False, env=env).stdout.decode()


def in_webkit():
    from selenium import webdriver
    from selenium.webdriver.webkitgtk.options import Options
    options = Options()
    options.binary_location = MINIBROWSER
    options.add_argument("--automation")
    browser = webdriver.WebKitGTK(executable_path="/usr/bin/WebKitWebDriver", options=options)
    try:
        browser.set_script_timeout(300)
        browser.get(LAB.as_uri())
        return browser.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            f"({(HERE / 'lab_engines.js').read_text(encoding='utf-8')})(arguments[0])"
            ".then(done, (e) => done({error: String(e)}));", EXAMPLE.read_text(encoding="utf-8"))
    finally:
        browser.quit()


def in_firefox():
    out = subprocess.run(["node", str(HERE / "lab_firefox.mjs"), NPM_ROOT, str(LAB),
                          str(HERE / "lab_engines.js"), str(EXAMPLE)],
                         capture_output=True, text=True, check=False, timeout=600)
    if out.returncode != 0:
        return {"error": out.stderr[-2000:]}
    return json.loads(out.stdout)


class LabEnginesTest(unittest.TestCase):
    def test_the_readmes_example_every_schedule_and_a_level(self):
        shown = in_firefox() if ENGINE == "firefox" else in_webkit()
        self.assertNotIn("error", shown)
        self.assertTrue(shown["typed"].endswith("@19000 f\n@19000 q\n"), shown["typed"])
        with tempfile.NamedTemporaryFile("w", suffix=".session") as file:
            file.write(shown["typed"])
            file.flush()
            self.assertEqual(shown["transcript"], native(file.name))
            self.assertEqual(shown["report"], native("--every-schedule", file.name))
        self.assertEqual(shown["won"], str(shown["par"]))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
