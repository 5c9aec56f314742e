"""The program's address as a panel is given it: checked before any socket is opened.

A panel hears the program only from the address it sends to, since the program answers from
its own address. Some IPv4 addresses can never be that: 0.0.0.0 (any address, which is what a
hello routed without a source address shows), the rest of 0.0.0.0/8, multicast groups, the
broadcast address and the reserved 240.0.0.0/4.
"""

from __future__ import annotations

import socket
from typing import Optional, Tuple

__all__ = ["check_port", "program_address", "unusable_reason"]


def unusable_reason(address: str) -> Optional[str]:
    """Why no program can send from the dotted IPv4 `address`, or None when one can."""
    a = int.from_bytes(socket.inet_aton(address), "big")
    if a == 0:
        return "it stands for any address"
    if a >> 24 == 0:
        return "it is in 0.0.0.0/8, which names no host"
    if a >> 28 == 0xE:
        return "it is a multicast group"
    if a == 0xFFFFFFFF:
        return "it is the broadcast address"
    if a >> 28 == 0xF:
        return "it is reserved"
    return None


def refusal(label: str, address: str, why: str) -> str:
    """The one-line message for an address no program sends from (as zvmp-monitor words it)."""
    return "%s %s is not an address a program sends from: %s (give the program's own address, such as 127.0.0.1)" % (
        label,
        address,
        why,
    )


def check_port(port: object, label: str = "port", lowest: int = 1) -> int:
    """`port` when it is a whole number from `lowest` to 65535; ValueError otherwise."""
    if isinstance(port, bool) or not isinstance(port, int) or not lowest <= port <= 0xFFFF:
        raise ValueError("%s is a whole number from %d to 65535, not %r" % (label, lowest, port))
    return port


def program_address(host: object, port: object) -> Tuple[str, int]:
    """(dotted address, port) of the program at `host` (an IPv4 address or a name) and `port`.

    Raises ValueError when `host` is not text, does not resolve, or resolves to an address no
    program sends from, and when `port` is not a whole number from 1 to 65535.
    """
    if not isinstance(host, str) or not host:
        raise ValueError("host is an IPv4 address or a name such as '127.0.0.1', not %r" % (host,))
    check_port(port)
    try:
        address = socket.gethostbyname(host)
    except (OSError, UnicodeError):
        raise ValueError("host %r is neither an IPv4 address nor a name this computer resolves" % host) from None
    why = unusable_reason(address)
    if why is not None:
        shown = host if host == address else "%s (%s)" % (host, address)
        raise ValueError(refusal("host", shown, why))
    assert isinstance(port, int)
    return address, port
