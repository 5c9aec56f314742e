"""The web panel (python -m zvmp web) in a real browser, headless Chromium, against the program on
the built-in simulator: the page shows the simulator's values, its buttons change what a second
panel sees, a bad value typed in a window shows the client's reason, and a program that stops
and starts again shows as such without the page being loaded again."""

from __future__ import annotations

import os
import select
import signal
import time
import unittest

import browser
import support
import zvmp
from zvmp import values

LISTEN = "127.0.0.1:8080"
SCREENSHOT = os.environ.get("ZVMP_SCREENSHOT", "")


def setUpModule() -> None:
    support.require_isolation()


def first_line(process, timeout: float) -> str:
    """The first line the process writes on standard output."""
    assert process.stdout is not None
    if not select.select([process.stdout], [], [], timeout)[0]:
        raise AssertionError("python -m zvmp web said nothing within %g s" % timeout)
    return process.stdout.readline().decode()


class BrowserTest(unittest.TestCase):
    def test_the_page_flies_the_program_and_follows_it_through_a_restart(self) -> None:
        program = support.Program()
        web = browser.start_web("--listen", LISTEN)  # finds the program by its hellos
        page = None
        try:
            self.assertEqual(first_line(web, 10), "the program at 127.0.0.1:59000 (heard its hello)\n")
            page = browser.Browser()
            with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
                state = panel.wait(timeout=10.0, raise_on_timeout=True)
                assert state is not None
                page.driver.get("http://%s/" % LISTEN)
                page.wait_for("return window.zvmpPanel.events > 5", 10)
                # The simulator's values, as the second panel sees them, in a pilot's units.
                shown = {name: page.text('output[data-name="%s"]' % name) for name in ("hdg", "alt", "com1", "xpdr")}
                self.assertEqual(shown, {"hdg": "%03d" % state["hdg"], "alt": "%d" % state["alt"],
                                         "com1": "%.2f" % state["com1"], "xpdr": "%04d" % state["xpdr"]})
                self.assertAlmostEqual(int(page.text('[data-show="altitude"]')), state["ind-alt"] * 3.28084, delta=50)
                self.assertEqual(page.text("#status"), zvmp.STATUS_TEXTS["streaming"])
                if SCREENSHOT:
                    page.driver.save_screenshot(SCREENSHOT)

                # HDG+ five times, then the heading mode button.
                self.assertEqual(state["hdg-hold"], 0)
                for _ in range(5):
                    page.driver.find_element("id", "hdg-inc").click()
                panel.confirm([("hdg", (state["hdg"] + 5) % 360)], timeout=5.0)
                page.driver.find_element("id", "mode-hdg-sel").click()
                panel.confirm([("hdg_hold", "on")], timeout=5.0)
                page.wait_for("return document.getElementById('mode-hdg-sel').classList.contains('lit')", 2)
                page.wait_for("return document.querySelector('output[data-name=hdg]').textContent === arguments[0]", 2,
                              "%03d" % ((state["hdg"] + 5) % 360))

                # A bad value typed in a window shows the client's reason.
                for name, typed in [("hdg", "400"), ("xpdr", "7008"), ("alt", "abc")]:
                    with self.subTest(name=name, typed=typed):
                        with self.assertRaises(ValueError) as refused:
                            values.command_word(values.by_name(name), typed)
                        page.driver.find_element("css selector", 'output[data-name="%s"]' % name).click()
                        # The window's text is selected: typing replaces it.
                        field = page.driver.find_element("css selector", 'input[data-name="%s"]' % name)
                        field.send_keys(typed + "\n")
                        page.wait_for("return document.getElementById('message').textContent === arguments[0]", 3,
                                      str(refused.exception))

            # The program stops: the page says so within 2 s; it starts again: the values come
            # back into the same page.
            page.driver.execute_script("window.notLoadedAgain = true")
            self.assertEqual(program.stop(), 0)
            stopped = time.monotonic()
            page.wait_for("return document.getElementById('status').textContent === arguments[0]"
                          " && document.body.classList.contains('stale')", 2.0, zvmp.STATUS_TEXTS["no-answer"])
            self.assertLess(time.monotonic() - stopped, 2.0)
            program = support.Program()
            with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
                state = panel.wait(timeout=10.0, raise_on_timeout=True)
                assert state is not None
                page.wait_for("return !document.body.classList.contains('stale') && window.notLoadedAgain", 5)
                # A fresh world: its heading bug where it started.
                page.wait_for("return document.querySelector('output[data-name=hdg]').textContent === arguments[0]", 3,
                              "%03d" % state["hdg"])
        finally:
            if page is not None:
                page.quit()
            web.send_signal(signal.SIGTERM)
            _, errors = web.communicate(timeout=10)
            self.assertEqual((web.returncode, errors), (0, b""))
            self.assertEqual(program.stop(), 0)


if __name__ == "__main__":
    unittest.main()
