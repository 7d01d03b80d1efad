#!/usr/bin/python3
"""The lab (docs/lab.html) in a real browser: Debian's Chromium, headless,
driven by Debian's python3-selenium and chromium-driver; axe-core from npm
(scripts/deps.sh npm:axe-core@4.14.1). Without them it fails, never skips.

Sessions typed into the lab key by key, each line at its virtual time, give
the native listpool-sim's transcript (every write, its time, thread, file and
bytes, and how the run ended) byte for byte, and the output and log panes
hold those writes; the guard's code marks, at moments on the way, the
lines the native explorer's views give each thread; the lab's every-schedule report is the native one; a link
restores a session and a schedule; hostile links are shown as text, or
refused with a message, and leave the page usable; axe-core finds nothing
serious or critical in any state visited.

  lab_page_test.py LAB_HTML NATIVE_SIM AXE_JS [SCREENSHOT]
"""
import ast
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path
from urllib.parse import quote

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

sys.path.insert(0, str(Path(__file__).resolve().parent))
from lab_driver import LabCase  # noqa: E402

LabCase.LAB = Path(sys.argv[1]).resolve()
SIM = sys.argv[2]
LabCase.AXE = Path(sys.argv[3]).read_text(encoding="utf-8")
SCREENSHOT = sys.argv[4] if len(sys.argv) > 4 else None
SOURCE = Path(__file__).resolve().parents[2]
SESSIONS = [SOURCE / "docs/example.session",
            SOURCE / "tests/sim/sessions/two-prints-and-a-queued-insert.session",
            SOURCE / "tests/sim/sessions/a-collection-a-dump-and-finds.session",
            SOURCE / "tests/e2e/sessions/delete.in"]
LINE = re.compile(r'^ *(\d+) ms  .{10} (\S+) +(".*")$')


def native(*args, stdin=""):
    env = dict(os.environ)
    env.pop("LISTPOOL_SEARCH_REPLAY", None)  # the lab's search restores copies too
    return subprocess.run([SIM, *args], capture_output=True, check=False, env=env,
                          input=stdin.encode()).stdout.decode()


GUARD = (SOURCE / "store/read_write_guard.cpp").read_text(encoding="utf-8").splitlines()


def native_marks(session, ms):
    """Each thread stopped in one of the guard's sequences once every step
    up to `ms` is taken on the fixed schedule, with the line of
    store/read_write_guard.cpp it is at, from the native explorer's views (a
    view's time is its next step's): {(thread, line)}."""
    for view in native("--views", str(session), stdin="\n").split("end\n")[0].splitlines():
        texts = json.loads(view)["texts"]
        threads = (len(texts) - 18) // 3  # then 5 values, 8 guard objects, 5 files
        if int(texts[3 * threads].split()[0]) > ms:
            break
    else:
        raise AssertionError(f"the native views end before {ms} ms")
    marks = set()
    for t in range(threads):
        item = re.match(r"^(\w+), step (\d+): ", texts[3 * t + 2])
        if item:  # the line of its call (less the guard's name), the second when step 3
            start = GUARD.index(f"void ReadWriteGuard::{item.group(1)}() {{")
            lines = [n + 1 for n in range(start, GUARD.index("}", start))
                     if GUARD[n].strip() == texts[3 * t].split(" ", 1)[1] + ";"]
            marks.add((t, lines[-1 if item.group(1) == "WriterArrives" and item.group(2) == "3"
                                else 0]))
    return marks


def typed_lines(text):
    """A session's lines with the virtual time each is typed at, as listpool-sim reads them."""
    at, lines = 0, []
    for line in text.splitlines():
        m = re.match(r"^@(\d+)(?: (.*))?$", line)
        if m:
            at = max(at, int(m.group(1)))
            if m.group(2) is None:
                continue
            line = m.group(2)
        lines.append((at, line))
    return lines


class LabPageTest(LabCase):
    def go_to(self, ms):
        field = self.browser.find_element(By.ID, "goto")
        field.clear()
        field.send_keys(str(ms))
        self.browser.find_element(By.ID, "go").click()
        self.wait("document.body.dataset.pending === '0'")

    def type_session(self, text, stops=(), session=None):
        """Types `text` key by key, each line at its time; at each of
        `stops` (ms) on the way, the code view marks the lines the native
        explorer's views of `session` give."""
        Select(self.browser.find_element(By.ID, "pace")).select_by_value("0")
        self.browser.find_element(By.ID, "clear").click()
        self.wait("document.body.dataset.pending === '0'")
        line = self.browser.find_element(By.ID, "line")
        now = 0
        for at, words in typed_lines(text) + [(max(stops, default=0) + 1, None)]:
            for stop in (s for s in stops if now < s < at):
                self.go_to(stop)
                now = stop
                marks = {tuple(m) for m in self.browser.execute_script(
                    "return [...document.querySelectorAll('#code .mark')].map((b) => "
                    "[Number(b.dataset.thread), Number(b.closest('.line').dataset.line)])")}
                note, expected = self.text("code"), native_marks(session, stop)
                self.assertTrue(expected, f"no thread in a sequence at {stop} ms")
                self.assertEqual(marks, expected, note)
                self.assertIn(f"At {stop} ms", note)
            if words is None:
                continue
            if at > now:
                self.go_to(at)
                now = at
            for key in words:
                line.send_keys(key)
            line.send_keys(Keys.ENTER)
            self.wait("document.body.dataset.pending === '0'")
        self.go_to(now + 600000)  # long past the end of every session here

    def test_typed_sessions_write_what_the_native_program_writes(self):
        self.open()
        self.no_serious_violations("at load")
        for session in SESSIONS:
            with self.subTest(session=session.name):
                # The lines the threads are at in the guard's code: a writer
                # waiting for the readers to leave, a reader at the gate.
                stops = {0: (1000,), 2: (1000,)}.get(SESSIONS.index(session), ())
                self.type_session(session.read_text(encoding="utf-8"), stops, session)
                expected = native(str(session))
                self.assertEqual(self.text("transcript"), expected)
                files = {}
                for line in expected.splitlines():
                    m = LINE.match(line)
                    if m:
                        files[m.group(2)] = files.get(m.group(2), "") + ast.literal_eval(m.group(3))
                self.assertIn("stdout", files)
                for name, bytes_ in files.items():
                    self.assertEqual(self.text("file-" + name), bytes_, name)
        # The timeline is in the page: each shape's details are said on hovering it and
        # from the keyboard.
        shape = self.browser.find_element(By.CSS_SELECTOR, "#timeline svg rect:has(title)")
        ActionChains(self.browser).move_to_element(shape).perform()
        self.assertEqual(self.text("timelinedetail"),
                         shape.find_element(By.TAG_NAME, "title").get_attribute("textContent"))
        self.browser.find_element(By.ID, "timeline").send_keys(Keys.ARROW_RIGHT)
        self.assertNotEqual(self.text("timelinedetail"), "")
        self.assertEqual(self.browser.execute_script("return document.activeElement.id"),
                         "timeline")
        self.no_serious_violations("after a session")
        if SCREENSHOT:  # the README's example as it stands at its last line, 19 s in
            example = "".join(f"@{at} {words}\n" for at, words in typed_lines(
                SESSIONS[0].read_text(encoding="utf-8")))
            self.open("#session=" + quote(example))
            self.wait("document.querySelector('#timeline svg')")
            self.browser.set_window_size(1400, 2150)
            time.sleep(0.5)
            self.browser.save_screenshot(SCREENSHOT)
            self.browser.set_window_size(1400, 1000)

    def test_a_session_pasted_as_its_file_has_it_writes_what_the_native_program_writes(self):
        # The prompt has the focus at load; the README's example pasted whole,
        # its last lines at "@19000", paused at 0 ms, is the file's session.
        self.open()
        self.assertEqual(self.browser.execute_script("return document.activeElement.id"), "line")
        Select(self.browser.find_element(By.ID, "pace")).select_by_value("0")
        self.browser.find_element(By.ID, "clear").click()
        self.wait("document.body.dataset.pending === '0'")
        example = SESSIONS[0].read_text(encoding="utf-8")
        self.browser.execute_script(
            "const data = new DataTransfer(); data.setData('text', arguments[0]);"
            "document.getElementById('line').dispatchEvent(new ClipboardEvent('paste',"
            " {clipboardData: data, bubbles: true, cancelable: true}));", example)
        self.wait("document.body.dataset.pending === '0'")
        self.assertIn("@19000 f\n", self.text("typed"))
        self.go_to(600000)
        expected = native(str(SESSIONS[0]))
        self.assertEqual(self.text("transcript"), expected)
        # The newest write is in view; a time gone by is refused.
        self.assertTrue(self.browser.execute_script(
            "const b = document.getElementById('transcript');"
            "return b.scrollHeight > b.clientHeight && "
            "b.scrollTop + b.clientHeight >= b.scrollHeight - 4"))
        line = self.browser.find_element(By.ID, "line")
        line.send_keys("@0 f" + Keys.ENTER)
        self.assertIn("is not to come", self.text("message"))
        self.assertNotIn("@0 f", self.text("typed"))
        # Paused, the page at rest changes nothing on it.
        changes = self.browser.execute_async_script(
            "const done = arguments[arguments.length - 1]; let n = 0;"
            "new MutationObserver((m) => { n += m.length; }).observe(document.body,"
            " {subtree: true, childList: true, characterData: true});"
            "setTimeout(() => done(n), 1500);")
        self.assertEqual(changes, 0)
        # Back to 19 s, typing differently from there: the lines typed then are taken back,
        # and the page writes what the native program writes for the session so mended.
        self.go_to(19000)
        self.assertIn("Went back to 19,000 ms: the 2 line(s) typed from then on were taken back",
                      self.text("message"))
        for words in ("d 9", "q"):
            line.send_keys(words + Keys.ENTER)
            self.wait("document.body.dataset.pending === '0'")
        self.go_to(600000)
        mended = self.text("typed")
        self.assertTrue(mended.endswith("@0 g\n@19000 d 9\n@19000 q\n"), mended)
        with tempfile.NamedTemporaryFile("w", suffix=".session") as file:
            file.write(mended)
            file.flush()
            self.assertEqual(self.text("transcript"), native(file.name))

    def test_every_schedule_reports_what_the_native_search_reports(self):
        for session in SESSIONS[:3]:
            with self.subTest(session=session.name):
                text = "".join(f"@{at} {words}\n" for at, words in typed_lines(
                    session.read_text(encoding="utf-8")))
                self.open("#session=" + quote(text))
                self.browser.find_element(By.ID, "search").click()
                self.wait("document.body.dataset.searched")
                with tempfile.NamedTemporaryFile("w", suffix=".session") as file:
                    file.write(text)
                    file.flush()
                    expected = native("--every-schedule", file.name)
                    self.assertEqual(self.text("report"), expected)
                    # A schedule to each distinct outcome, which the native
                    # program ends as said when it replays it.
                    shortest = self.browser.execute_script(
                        "return [...document.querySelectorAll('#shortest li')]"
                        ".map((li) => [li.dataset.choices, li.dataset.ending])")
                    outcomes = int(re.search(r"(\d+) distinct outcome", expected).group(1))
                    self.assertEqual(len(shortest), outcomes)
                    for choices, ending in shortest:
                        run = native("--replay", choices, file.name) if choices else \
                            native(file.name)
                        self.assertTrue(run.endswith(ending), (choices, ending))
                self.assertIn("Every schedule seen", self.text("searchnote"))
        self.no_serious_violations("after a search")

    def test_a_stopped_search_says_so(self):
        self.open("#session=" + quote("@0 i 1 2 -1\n@0 p\n@0 F 2\n@0 g\n@0 q\n"))
        field = self.browser.find_element(By.ID, "maxstates")
        field.clear()
        field.send_keys("50")
        self.browser.find_element(By.ID, "search").click()
        self.wait("document.body.dataset.searched")
        self.assertIn("Stopped at the bound of 50 states", self.text("searchnote"))

    def test_the_readmes_link_shows_the_readmes_output(self):
        readme = (SOURCE / "README.md").read_text(encoding="utf-8")
        link = re.search(r"\]\(docs/lab\.html(#session=[^)]*)\)", readme).group(1)
        self.open(link)
        self.wait("document.getElementById('transcript').textContent.includes('exit ')")
        self.assertEqual(self.text("transcript"), native(str(SESSIONS[0])))
        self.assertEqual(self.text("clock"), "20000 ms")

    def test_a_link_restores_a_session_and_a_schedule(self):
        session = "".join(f"@{at} {words}\n" for at, words in typed_lines(
            SESSIONS[2].read_text(encoding="utf-8")))
        with tempfile.NamedTemporaryFile("w", suffix=".session") as file:
            file.write(session)
            file.flush()
            report = native("--every-schedule", file.name)
        # The schedule of the search's last outcome, which is not the fixed one.
        choices = re.findall(r"--replay '([0-9 ]+)'", report)[-1].split()
        self.assertGreater(len(choices), 1)
        self.open("#session=" + quote(session) + "&choices=" + ",".join(choices))
        self.assertEqual(self.text("typed"), session)
        self.wait("document.body.dataset.explored === '1'")
        frame = self.browser.find_element(By.ID, "explorer")
        self.browser.switch_to.frame(frame)
        try:
            self.wait("document.getElementById('command').value.includes(\"--replay '%s'\")"
                      % " ".join(choices), 10)
            steps = len(self.browser.find_elements(By.CSS_SELECTOR, "#steps li"))
            self.browser.find_element(By.ID, "back").click()
            self.browser.find_element(By.ID, "back").click()
            self.browser.find_element(By.CSS_SELECTOR, "#threads button:not([disabled])").click()
        finally:
            self.browser.switch_to.default_content()
        self.assertGreater(steps, 2)
        # The choice made in the explorer follows into the lab's link.
        self.wait("location.hash.includes('choices=')")
        self.browser.find_element(By.ID, "copylink").click()
        self.wait("document.getElementById('copied').textContent.includes('copied') || "
                  "document.getElementById('copied').textContent.includes('box')")
        self.no_serious_violations("with the explorer")
        # The link comes back where it was made: at its clock's time.
        self.go_to(23456)
        self.browser.find_element(By.ID, "copylink").click()
        link = self.wait("document.getElementById('link').value")
        self.assertIn("at=23456", link)
        self.browser.get("about:blank")
        self.browser.get(link)
        self.wait("document.body.dataset.ready === '1'")
        self.assertEqual(self.text("clock"), "23456 ms")
        self.assertEqual(self.text("typed"), session)

    def test_hostile_links_are_text_or_refused_and_leave_the_page_usable(self):
        markup = '<img src=x onerror="document.title=1"><b>bold</b>\n'
        script = "</script><script>document.title='run'</script>\n"
        control = "\x01\x02\x1b[31m\x7f\n"
        for session in (markup, script, control):
            with self.subTest(session=session):
                self.open("#session=" + quote(session))
                self.assertEqual(self.text("typed"), session)
                self.assertEqual(self.text("message"), "")
                self.assertFalse(self.browser.find_elements(
                    By.CSS_SELECTOR, "#typed *, #transcript *, b:not(.guardmd b):not(.done), "
                                     "img[src=x], [onerror]"))
                self.assertTrue(self.browser.title.startswith("listpool lab"))
        refused = {"#session=" + quote("p\n" * 100000): "lines",
                   "#session=p&choices=1,x": "choices",
                   # Handed over as a C string, it would end at the NUL.
                   "#session=" + quote("@0 i 1 -1\n@0 \x00\n@0 f\n"): "NUL",
                   "#session=" + "a" * 1100000: "too long"}
        for fragment, why in refused.items():
            with self.subTest(refused=why):
                self.open(fragment)
                self.assertIn("cannot be opened", self.text("message"))
                self.assertIn(why, self.text("message"))
                self.assertEqual(self.text("typed"), "")
                self.type_session("q\n")  # still usable
                self.assertIn("exit 0", self.text("transcript"))
        # Far times: the clock stops at the simulator's 24 h, as listpool-sim
        # ends a run there, and says so; a time past that is refused.
        self.open("#session=" + quote("@99999999999 f\n"))
        self.assertIn("at most 24 h", self.text("message"))
        self.assertEqual(self.text("clock"), "86400000 ms")
        # There it runs nothing more: no run beyond the last is asked for.
        busy = self.browser.execute_async_script(
            "const done = arguments[arguments.length - 1]; let busy = 0, n = 0;"
            "const look = setInterval(() => { busy += document.body.dataset.pending !== '0';"
            " if (++n === 20) { clearInterval(look); done(busy); } }, 100);")
        self.assertEqual(busy, 0)
        self.open()
        for far in ("99999999999", "1e+23"):
            with self.subTest(far=far):
                self.go_to(far)
                self.assertIn("at most 24 h", self.text("message"))
                self.assertLess(int(self.text("clock").split()[0]), 600000)
        self.type_session("q\n")
        self.assertIn("exit 0", self.text("transcript"))
        # Choices that lead nowhere: the explorer goes as far as they go.
        self.open("#session=" + quote("@0 p\n@0 q\n") + "&choices=" + ",".join(["9"] * 50))
        self.wait("document.body.dataset.explored === '1'")
        self.no_serious_violations("after hostile links")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
