"""The client against a stand-in for the program. Datagrams that are not whole packets from the
program are skipped and counted; they never raise out of wait() or updates(), and never change
the state, which holds what the latest packet of each kind held. A panel given an address the
program does not answer from says so; a fault in its receiving thread is raised, not taken for
silence; a command whose effect never shows is not confirmed."""

from __future__ import annotations

import os
import resource
import socket
import struct
import time
import unittest
import warnings
from typing import List
from unittest import mock

import support
import zvmp
from zvmp import wire

HDG = 0x26011603
LAT = 0x27021101
GEAR = 0x22011501
VS0 = 0x26011401


def setUpModule() -> None:
    support.require_isolation()


def data(heading: float) -> bytes:
    return wire.build(support.PROGRAM_NODE_TYPE, [(HDG, struct.pack("<f", heading)), (GEAR, support.word(1))])


class MalformedTest(unittest.TestCase):
    def test_malformed_and_foreign_datagrams_are_counted_and_skipped(self) -> None:
        good = data(90.0)
        long_length = bytearray(good)
        long_length[16] += 4  # says 4 bytes more than arrive
        cut = wire.build(support.PROGRAM_NODE_TYPE, [(GEAR, support.word(0))])[:-4] + struct.pack("<I", LAT) + b"\0" * 4
        cut = cut[:16] + struct.pack("<I", len(cut)) + cut[20:]  # the latitude's 8 bytes do not fit
        wrong_count = bytearray(data(180.0))
        wrong_count[20] = 3  # two messages present
        malformed = [
            b"",
            b"\x13\x06",
            bytes(long_length),
            cut,
            bytes(wrong_count),
            wire.build(0x00030000, [(HDG, struct.pack("<f", 180.0))]),  # first word is no node type
            good + b"\0" * (wire.MAX_PACKET + 1 - len(good)),  # longer than a packet may be
            b"GET / HTTP/1.0\r\n\r\n" + b"\0" * 8,
        ]
        stand_in = support.StandIn()
        other = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        other.bind(("127.0.0.1", 0))
        try:
            with zvmp.Panel(port=stand_in.port) as panel:
                deadline = time.monotonic() + 5
                while not stand_in.streaming and time.monotonic() < deadline:
                    time.sleep(0.01)
                peer = stand_in.streaming[0]
                first = panel.updates(timeout=3.0)
                stand_in.send_to(good, peer)
                self.assertIsNotNone(next(first, None))
                for datagram in malformed:
                    stand_in.send_to(datagram, peer)
                # A whole data packet from anywhere but the program is foreign; hellos are not
                # counted, from the program (also in the type-coded form) or from elsewhere.
                other.sendto(data(180.0), peer)
                other.sendto(wire.hello(0x84060000), peer)
                stand_in.send_to(struct.pack("<II", 1, support.PROGRAM_NODE_TYPE), peer)
                stand_in.send_to(wire.hello(support.PROGRAM_NODE_TYPE), peer)
                updates = panel.updates(timeout=3.0)
                stand_in.send_to(data(270.0), peer)
                state = next(updates)
                self.assertEqual(state["hdg"], 270.0)
                self.assertEqual(state["gear"], 1)
                self.assertNotIn("lat", state)
                self.assertEqual(panel.dropped, len(malformed) + 1)
                self.assertEqual(panel.packets, 2)
                # A value the next data packet lacks leaves the state; the speed limits stay.
                stand_in.send_to(wire.build(support.PROGRAM_NODE_TYPE, [(VS0, struct.pack("<f", 110.0))]), peer)
                stand_in.send_to(wire.build(support.PROGRAM_NODE_TYPE, [(HDG, struct.pack("<f", 180.0))]), peer)
                state = next(updates)
                self.assertEqual((state["hdg"], state["vs0"], "gear" in state), (180.0, 110.0, False))
                self.assertLessEqual(state.received_at("vs0"), state.received_at("hdg"))
        finally:
            other.close()
            stand_in.close()

    def test_a_panel_given_an_address_the_program_does_not_answer_from_says_so_once(self) -> None:
        stand_in = support.StandIn([data(90.0)], address="0.0.0.0")  # answers from 127.0.0.1
        try:
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                with zvmp.Panel("127.0.0.2", port=stand_in.port) as panel:
                    with self.assertRaises(zvmp.NoDataError) as silent:
                        panel.wait(timeout=2.5, raise_on_timeout=True)
            seen = "127.0.0.1:%d" % stand_in.port
            self.assertEqual(silent.exception.status, "no-answer")
            self.assertIn("datagrams come from " + seen, str(silent.exception))
            said = [str(w.message) for w in caught if w.category is RuntimeWarning]
            self.assertEqual(len(said), 1, said)
            self.assertIn("127.0.0.2:%d has dropped every datagram for 1 s: they come from %s" % (stand_in.port, seen),
                          said[0])
        finally:
            stand_in.close()

    def test_the_reader_works_on_high_sockets_and_its_faults_are_raised(self) -> None:
        stand_in = support.StandIn([data(90.0)])
        limits = resource.getrlimit(resource.RLIMIT_NOFILE)
        fillers: List[int] = []
        try:
            # select() could not watch a socket numbered 1024 or more.
            if limits[1] != resource.RLIM_INFINITY and limits[1] < 1100:
                self.skipTest("the hard limit on open files is below 1100")
            resource.setrlimit(resource.RLIMIT_NOFILE, (max(limits[0], 1100), limits[1]))
            while not fillers or fillers[-1] < 1030:
                fillers.append(os.open(os.devnull, os.O_RDONLY))
            with zvmp.Panel(port=stand_in.port) as panel:
                self.assertGreater(panel._socket.fileno(), 1023)
                self.assertEqual(panel.wait(timeout=3.0, raise_on_timeout=True)["hdg"], 90.0)
                with self.assertRaises(zvmp.NotConfirmedError) as unconfirmed:
                    panel.send(hdg=270, confirm=0.5)
                self.assertEqual(str(unconfirmed.exception), "not confirmed within 0.5 s: hdg=270 (reads 90)")
                with mock.patch.object(panel, "_take", side_effect=RuntimeError("a fault in the reader")):
                    for waits in (lambda: panel.wait(timeout=3.0), lambda: next(panel.updates(timeout=3.0)),
                                  lambda: panel.status):
                        with self.assertRaises(zvmp.PanelError) as failed:
                            waits()
                        self.assertIsInstance(failed.exception.__cause__, RuntimeError)
        finally:
            for fd in fillers:
                os.close(fd)
            resource.setrlimit(resource.RLIMIT_NOFILE, limits)
            stand_in.close()


if __name__ == "__main__":
    unittest.main()
