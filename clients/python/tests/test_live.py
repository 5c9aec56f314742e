"""The client against the program itself, on the built-in simulator, in this test's private
network namespace: subscribing as either kind of panel, commands confirmed as the program rounds
them, the panel's status, the stream stop, and discovery."""

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
            # Over Belgium the variation is east, which the program publishes as negative.
            self.assertTrue(-3.0 < state["magvar"] < -1.0, state["magvar"])

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

    def test_a_command_is_confirmed_as_the_program_rounds_it(self) -> None:
        # (commands, what the confirmed state shows); fd-mode 0 takes fd-bank out of the state.
        rows = [
            ({"alt": 12345, "vs": -150.7, "hdg": 360, "crs1": 359.9}, {"alt": 12300.0, "vs": -100.0, "hdg": 0.0,
                                                                       "crs1": 359.0}),
            ({"vs": 1999, "spd": 0.78, "hdg_hold": "ON", "fd_mode": 1}, {"vs": 1900.0, "spd": 0.77, "hdg-hold": 2}),
            ({"spd": 250.7, "com1": 121.9, "adf1s": 415, "xpdr": 7000, "efis_range": 80, "baro": 1013, "fd_mode": 0},
             {"spd": 250.0, "spd-mach": 0, "com1": 121.9, "adf1s": 415.0, "xpdr": 7000, "efis-range": 80.0,
              "baro": 29.917307}),
            ({"adf1": 350.05, "adf2": 1799.5}, {"adf1": 350.0, "adf2": 1799.5}),
        ]
        with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
            first_state(panel)
            for commands, shown in rows:
                with self.subTest(commands=commands):
                    state = panel.send(confirm=True, **commands)
                    assert state is not None
                    self.assertEqual({k: state[k] for k in shown}, shown)
                    self.assertEqual("fd-bank" in state, commands.get("fd_mode") == 1)
                    self.assertLess(state.age("alt"), 1.0)
            with self.assertRaisesRegex(ValueError, "vnav-hold cannot be confirmed"):
                panel.send(confirm=True, hdg=90, vnav_hold="on")

    def test_status_tells_streaming_from_answered_from_no_answer(self) -> None:
        # A second program waits for a simulator that does not come; it takes the next port
        # once the first has its own.
        with zvmp.Panel(port=support.PROGRAM_PORT) as panel:
            first_state(panel)
        waiting = support.Program(args=["-w"], offline=60)
        try:
            rows = [(support.PROGRAM_PORT, "streaming"), (support.PROGRAM_PORT + 1, "answered"),
                    (support.PROGRAM_PORT + 7, "no-answer")]
            for port, status in rows:
                with self.subTest(status=status), zvmp.Panel(port=port) as panel:
                    try:
                        self.assertIsNotNone(panel.wait(timeout=3.0, raise_on_timeout=True))
                        self.assertLess(panel.last_packet_age, 1.0)
                    except zvmp.NoDataError as e:
                        self.assertEqual(e.status, status, e)
                        self.assertIn({"answered": "publishes nothing", "no-answer": "nothing answers"}[status],
                                      str(e))
                        self.assertIsNone(panel.last_packet_age)
                    self.assertEqual((panel.status, panel.prompt_status()), (status, status))
        finally:
            self.assertEqual(waiting.stop(), 0)

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
        # The namespace routes multicast from 127.0.0.1, as a network card from its address.
        self.assertEqual(found, [("127.0.0.1", support.PROGRAM_PORT)])
        with zvmp.Panel(*found[0]) as panel:
            first_state(panel)
            self.assertEqual((panel.status, panel.dropped), ("streaming", 0))


if __name__ == "__main__":
    unittest.main()
