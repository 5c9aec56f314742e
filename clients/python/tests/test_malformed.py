"""Datagrams that are not whole packets from the program are skipped and counted; they never
raise out of wait() or updates(), and never change the state."""

from __future__ import annotations

import socket
import struct
import time
import unittest

import support
import zvmp
from zvmp import wire

HDG = 0x26011603
LAT = 0x27021101
GEAR = 0x22011501


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
        finally:
            other.close()
            stand_in.close()


if __name__ == "__main__":
    unittest.main()
