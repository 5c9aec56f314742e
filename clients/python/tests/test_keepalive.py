"""The hello that keeps an idle panel subscribed, against the program on the built-in simulator.
The program forgets a panel it has not heard for 60 s, timed on its monotonic clock, so this
test takes a little over a minute."""

from __future__ import annotations

import threading
import time
import unittest
from typing import List, Tuple

import support
import zvmp

# The program's silence limit, and how long after it the test goes on.
SILENCE_LIMIT_S = 60.0
BEYOND_S = 4.0


def setUpModule() -> None:
    support.require_isolation()


class KeepAliveTest(unittest.TestCase):
    """A bare socket that asked once loses the stream after the silence limit, while a panel
    that nobody sends with keeps it without a break."""

    def test_the_hello_keeps_an_idle_panel_subscribed(self) -> None:
        program = support.Program()
        witness = support.Witness()
        arrivals: List[Tuple[float, bytes]] = []
        span = SILENCE_LIMIT_S + BEYOND_S
        listening = threading.Thread(target=lambda: arrivals.extend(witness.receive(span)))
        try:
            with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
                self.assertIsNotNone(panel.wait(timeout=10.0), "no data from the program")
                witness.request()
                start = last = time.monotonic()
                listening.start()
                longest = 0.0
                for _ in panel.updates(timeout=2.0):
                    now = time.monotonic()
                    longest = max(longest, now - last)
                    last = now
                    if now - start > span:
                        break
                self.assertLess(longest, 0.8, "the stream broke off")
                self.assertGreater(last - start, span, "the stream ended")
            listening.join()
            self.assertTrue(arrivals, "the witness got no data at all")
            # Served until the limit (expiry runs once a second), then no more.
            self.assertGreater(arrivals[-1][0] - start, SILENCE_LIMIT_S - 1.0, "the witness was dropped early")
            self.assertLess(arrivals[-1][0] - start, SILENCE_LIMIT_S + 2.5, "the witness was never dropped")
        finally:
            witness.close()
            self.assertEqual(program.stop(), 0)


if __name__ == "__main__":
    unittest.main()
