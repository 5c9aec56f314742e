"""ZVMP packets on the wire: building them and reading received datagrams.

A packet is one UDP datagram: a 24-byte header (sender's node type word, three reserved
words, the packet's length in bytes, the message count) and then the messages, each a 32-bit
identifier followed by as many 32-bit payload words as bits 16..23 of the identifier state.
Every word is little-endian.
"""

from __future__ import annotations

import struct
from typing import Iterable, List, NamedTuple, Tuple

# The protocol's numbers, as the program defines them (generated into catalogue.py): the header's
# size and the largest packet the program reads (and this package sends), the network's own
# messages, the protocol version of every node type word, and the type codes of the program and
# of the two kinds of panel it streams to.
from .catalogue import (
    FULL_PANEL,
    HEADER_SIZE,
    HELLO,
    MAX_PACKET,
    POSITION_PANEL,
    PROGRAM_TYPE_CODE,
    STREAM_REQUEST,
    STREAM_STOP,
    VERSION,
)

__all__ = [
    "FULL_PANEL",
    "HEADER_SIZE",
    "HELLO",
    "MAX_PACKET",
    "POSITION_PANEL",
    "PROGRAM_TYPE_CODE",
    "STREAM_REQUEST",
    "STREAM_STOP",
    "VERSION",
    "WORD",
    "MalformedPacket",
    "Packet",
    "build",
    "hello",
    "is_application",
    "node_type_word",
    "parse",
    "payload_size",
    "stream_request",
    "stream_stop",
]

_HEADER = struct.Struct("<6I")
#: One little-endian 32-bit word, as every id and header field is carried.
WORD = struct.Struct("<I")


class MalformedPacket(ValueError):
    """A datagram that is not a well-formed ZVMP packet."""


class Packet(NamedTuple):
    """A received packet: the sender's node type word and its messages in order."""

    node_type: int
    messages: Tuple[Tuple[int, bytes], ...]


def node_type_word(type_code: int) -> int:
    """The node type word of a node of `type_code` (0x81 becomes 0x81060000)."""
    return (type_code & 0xFF) << 24 | VERSION << 16


def payload_size(message_id: int) -> int:
    """Bytes of payload that follow `message_id`."""
    return ((message_id >> 16) & 0xFF) * 4


def is_application(message_id: int) -> bool:
    """Application messages have bit 29 set; the network's own never do."""
    return bool(message_id & 0x20000000)


def build(node_type: int, messages: Iterable[Tuple[int, bytes]]) -> bytes:
    """One packet with `node_type` in its header and `messages` (id, payload) in order.

    Raises ValueError when a payload's size differs from what its identifier states, or when
    the packet would be longer than MAX_PACKET.
    """
    body = bytearray()
    count = 0
    for message_id, payload in messages:
        if len(payload) != payload_size(message_id):
            raise ValueError(
                "message 0x%08x takes %d payload bytes, not %d" % (message_id, payload_size(message_id), len(payload))
            )
        body += WORD.pack(message_id) + payload
        count += 1
    length = HEADER_SIZE + len(body)
    if length > MAX_PACKET:
        raise ValueError("too many messages for one packet (%d bytes, at most %d)" % (length, MAX_PACKET))
    return _HEADER.pack(node_type, 0, 0, 0, length, count) + bytes(body)


def hello(node_type: int) -> bytes:
    """A hello: tells the receiver who we are; it adds or refreshes us as a peer."""
    return build(node_type, [(HELLO, WORD.pack(node_type))])


def stream_request(node_type: int) -> bytes:
    """Hello and stream request in one packet, the hello first so the program knows the asker."""
    return build(node_type, [(HELLO, WORD.pack(node_type)), (STREAM_REQUEST, b"")])


def stream_stop(node_type: int) -> bytes:
    """Hello and stream stop in one packet."""
    return build(node_type, [(HELLO, WORD.pack(node_type)), (STREAM_STOP, b"")])


def parse(datagram: bytes) -> Packet:
    """Reads one received datagram.

    A type-coded hello (first word 1, second word the sender's node type word, as some nodes
    send it) reads as a packet holding one hello. Raises MalformedPacket for anything else that
    is not a whole, consistent packet: too short for its header, a length field that differs
    from the bytes received, a first word that is not a node type word, a message whose payload
    runs past the end, a message count that differs from the messages present.
    """
    size = len(datagram)
    if size >= 8 and WORD.unpack_from(datagram, 0)[0] == 1:
        node_type = WORD.unpack_from(datagram, 4)[0]
        return Packet(node_type, ((HELLO, datagram[4:8]),))
    if size < HEADER_SIZE:
        raise MalformedPacket("%d bytes, shorter than the header" % size)
    if size > MAX_PACKET:
        raise MalformedPacket("%d bytes, longer than a packet may be" % size)
    node_type, _, _, _, length, count = _HEADER.unpack_from(datagram, 0)
    if length != size:
        raise MalformedPacket("length field says %d bytes, %d arrived" % (length, size))
    if node_type < 0x00040000:
        raise MalformedPacket("first word 0x%08x is no node type word" % node_type)
    messages: List[Tuple[int, bytes]] = []
    at = HEADER_SIZE
    while at < size:
        if size - at < 4:
            raise MalformedPacket("%d stray bytes at the end" % (size - at))
        message_id = WORD.unpack_from(datagram, at)[0]
        at += 4
        end = at + payload_size(message_id)
        if end > size:
            raise MalformedPacket(
                "message 0x%08x states %d payload bytes, %d remain" % (message_id, end - at, size - at)
            )
        messages.append((message_id, bytes(datagram[at:end])))
        at = end
    if len(messages) != count:
        raise MalformedPacket("message count says %d, %d messages are present" % (count, len(messages)))
    return Packet(node_type, tuple(messages))
