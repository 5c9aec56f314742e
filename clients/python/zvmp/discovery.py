"""Finding the program on the local network by the hellos it sends to the ZVMP multicast group."""

from __future__ import annotations

import selectors
import socket
import time
import warnings
from typing import List, Tuple

from . import wire
from .address import unusable_reason
from .catalogue import MULTICAST_GROUP, MULTICAST_PORTS

__all__ = ["GROUP", "PORT", "discover"]

#: The program says hello once a second to this group on ports 2424, 2425 and 2426; discover()
#: listens on the first.
GROUP = MULTICAST_GROUP
PORT = MULTICAST_PORTS[0]


def discover(timeout: float = 2.0, interface: str = "0.0.0.0") -> List[Tuple[str, int]]:
    """The (address, port) of every program heard saying hello within `timeout` seconds.

    Joins the group on `interface` (any, by default) and listens on port 2424 with SO_REUSEADDR,
    so that panels on the same computer can listen there too. The address and port are those a
    Panel subscribes to. Programs are listed in the order first heard. A hello from an address
    no program can be reached at (0.0.0.0: its computer routes multicast without a source
    address) is skipped with a RuntimeWarning, once per sender.
    """
    found: List[Tuple[str, int]] = []
    skipped: List[Tuple[str, int]] = []
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock, selectors.DefaultSelector() as selector:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("", PORT))
        membership = socket.inet_aton(GROUP) + socket.inet_aton(interface)
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
        selector.register(sock, selectors.EVENT_READ)
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return found
            if not selector.select(left):
                continue
            try:
                datagram, sender = sock.recvfrom(wire.MAX_PACKET + 1)
                packet = wire.parse(datagram)
            except (OSError, wire.MalformedPacket):
                continue
            is_hello = any(message_id == wire.HELLO for message_id, _ in packet.messages)
            program = (str(sender[0]), int(sender[1]))
            if not is_hello or packet.node_type >> 24 != wire.PROGRAM_TYPE_CODE or program in found + skipped:
                continue
            why = unusable_reason(program[0])
            if why is None:
                found.append(program)
                continue
            skipped.append(program)
            warnings.warn(
                "zvmp.discover skipped a hello from %s:%d: %s, so no panel can reach the program there "
                "(its computer routes multicast without a source address; give it one, or use -m ADDRESS)"
                % (program + (why,)),
                RuntimeWarning,
            )
