"""The hello that keeps an idle panel subscribed, against the program on the built-in simulator
with its network clock running fast (the test build's fast-clock library, preloaded)."""

from __future__ import annotations

import threading
import time
import unittest
from typing import List, Tuple

import support
import zvmp


def setUpModule() -> None:
    support.require_isolation()


class KeepAliveTest(unittest.TestCase):
    """The program forgets a panel it has not heard for 60 s. Its network clock runs 20 times
    as fast here, so that is 3 s: a bare socket that asked once loses the stream within the
    test, while a panel that nobody sends with keeps it without a break."""

    @unittest.skipUnless(support.FAST_CLOCK, "ZVMP_FAST_CLOCK (the test build's libzv_fast_clock.so) is not set")
    def test_the_hello_keeps_an_idle_panel_subscribed(self) -> None:
        fast = support.Program(fast_clock=True)
        witness = support.Witness()
        arrivals: List[Tuple[float, bytes]] = []
        listening = threading.Thread(target=lambda: arrivals.extend(witness.receive(5.0)))
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
                    if now - start > 7.0:
                        break
                self.assertLess(longest, 0.8, "the stream broke off")
                self.assertGreater(last - start, 7.0, "the stream ended")
            listening.join()
            self.assertTrue(arrivals, "the witness got no data at all")
            self.assertLess(arrivals[-1][0] - start, 4.5, "the program's clock does not run fast")
        finally:
            witness.close()
            self.assertEqual(fast.stop(), 0)


if __name__ == "__main__":
    unittest.main()
