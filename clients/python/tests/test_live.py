"""The client against the program itself, on the built-in simulator, in this test's private
network namespace: subscribing as either kind of panel, a command's effect in later packets,
the stream stop, and discovery."""

from __future__ import annotations

import socket
import time
import unittest

import support
import zvmp

program: support.Program


def setUpModule() -> None:
    global program
    support.require_isolation()
    program = support.Program()


def tearDownModule() -> None:
    # The program ends with 0 on SIGTERM; anything else (a sanitizer's report) is a fault.
    status = program.stop()
    if status != 0:
        raise AssertionError("the program ended with %d" % status)


def first_state(panel: zvmp.Panel) -> zvmp.State:
    state = panel.wait(timeout=10.0)  # the program may still be starting
    assert state is not None, "no data from the program"
    return state


class LiveTest(unittest.TestCase):
    def test_full_and_position_panels_get_their_packets(self) -> None:
        with zvmp.Panel("127.0.0.1", port=support.PROGRAM_PORT, kind="full") as full, zvmp.Panel(
            "127.0.0.1", port=support.PROGRAM_PORT, kind="position"
        ) as position:
            state = first_state(full)
            self.assertIsInstance(state["ias"], float)
            self.assertIsInstance(state["xpdr"], int)
            self.assertTrue(108.0 <= state["nav1"] <= 117.95, state["nav1"])
            self.assertTrue(118.0 <= state["com1s"] <= 136.99, state["com1s"])
            self.assertIn("hdg", state)
            self.assertIn(0x2A0C1D31, state.ids)
            self.assertEqual(state["hdg_hold"], state["hdg-hold"])

            seen = first_state(position)
            self.assertIn("lat", seen)
            self.assertIn("ias", seen)
            self.assertNotIn("hdg", seen)
            self.assertNotIn("com1", seen)
            # The speed limits come once a second to both kinds and merge in.
            limits = None
            for state in position.updates(timeout=3.0):
                if "vs0" in state:
                    limits = state
                    break
            self.assertIsNotNone(limits)
            self.assertEqual(full.dropped + position.dropped, 0)

    def test_a_command_shows_in_later_packets(self) -> None:
        with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
            before = first_state(panel)
            heading = 271.0 if before["hdg"] != 271.0 else 93.0
            panel.send(hdg=heading, alt=12000, com1=121.9, adf1s=415, xpdr=7000, efis_range=80, spd_mach="off")
            deadline = time.monotonic() + 5.0
            wanted = {"hdg": heading, "alt": 12000.0, "com1": 121.9, "adf1s": 415.0, "xpdr": 7000, "efis-range": 80.0}
            state = before
            while time.monotonic() < deadline and any(state[k] != v for k, v in wanted.items()):
                state = panel.wait(timeout=1.0) or state
            self.assertEqual({k: state[k] for k in wanted}, wanted)
            self.assertEqual(state.text("xpdr"), "7000")
            self.assertEqual(state.text("com1"), "121.90")

    def test_closing_stops_the_stream(self) -> None:
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
        panel = zvmp.Panel(port=support.PROGRAM_PORT, local_port=port)
        first_state(panel)
        panel.close()
        self.assertFalse(panel._thread.is_alive())
        self.assertIsNone(panel.wait(timeout=0.1))
        # The program keeps the panel as a peer (it still says hello there) but sends no data:
        # without the stop it would stream to the port for another minute.
        time.sleep(0.3)
        witness = support.Witness(local_port=port)
        try:
            self.assertEqual(witness.receive(1.2), [])
        finally:
            witness.close()

    def test_discover_hears_the_program(self) -> None:
        with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
            first_state(panel)  # the program runs
        found = zvmp.discover(timeout=2.5)
        # In the namespace the multicast hello leaves loopback without a source address of its
        # own, so only the port says which program it is.
        self.assertIn(support.PROGRAM_PORT, [port for _, port in found], found)


if __name__ == "__main__":
    unittest.main()
