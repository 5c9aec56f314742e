"""Finding the program on the local network by the hellos it sends to the ZVMP multicast group."""

from __future__ import annotations

import select
import socket
import time
from typing import List, Tuple

from . import wire

__all__ = ["GROUP", "PORT", "discover"]

#: The program says hello once a second to this group on ports 2424, 2425 and 2426.
GROUP = "239.224.224.1"
PORT = 2424


def discover(timeout: float = 2.0, interface: str = "0.0.0.0") -> List[Tuple[str, int]]:
    """The (address, port) of every program heard saying hello within `timeout` seconds.

    Joins the group on `interface` (any, by default) and listens on port 2424 with SO_REUSEADDR,
    so that panels on the same computer can listen there too. The port is the one a panel
    subscribes to. Programs are listed in the order first heard.
    """
    found: List[Tuple[str, int]] = []
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("", PORT))
        membership = socket.inet_aton(GROUP) + socket.inet_aton(interface)
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return found
            readable, _, _ = select.select([sock], [], [], left)
            if not readable:
                continue
            try:
                datagram, sender = sock.recvfrom(wire.MAX_PACKET + 1)
                packet = wire.parse(datagram)
            except (OSError, wire.MalformedPacket):
                continue
            is_hello = any(message_id == wire.HELLO for message_id, _ in packet.messages)
            program = (sender[0], int(sender[1]))
            if is_hello and packet.node_type >> 24 == wire.PROGRAM_TYPE_CODE and program not in found:
                found.append(program)
