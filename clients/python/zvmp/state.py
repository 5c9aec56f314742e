"""What a panel knows: the values of the latest packet of each kind received, with the time each
arrived."""

from __future__ import annotations

import time
from typing import Dict, Iterable, Iterator, Mapping, Optional, Tuple

from . import values
from .catalogue import GROUP_SPEED_LIMITS
from .values import Raw, Value

__all__ = ["State"]

#: Group of the speed-limit messages, which come once a second in a packet of their own.
SPEED_LIMIT_GROUP = GROUP_SPEED_LIMITS

# The two kinds of packet a panel receives: its data packet (full or position) and the
# speed-limit packet. Each replaces what the last one of its kind held.
_DATA = "data"
_LIMITS = "limits"


def packet_kind(message_ids: Iterable[int]) -> str:
    """"limits" for a packet of speed-limit messages only, else "data"."""
    return _LIMITS if all((i >> 8) & 0xFF == SPEED_LIMIT_GROUP for i in message_ids) else _DATA


class State(Mapping[str, Value]):
    """A mapping of monitor name to value, in the monitor's units and types.

    ``state["ias"]`` is the indicated airspeed in knots (a float), ``state["xpdr"]`` the
    transponder code as its four digits (an int, 7000), ``state["com1"]`` COM1 in MHz (a float);
    names may be written with ``_`` for ``-`` (``state["hdg_hold"]``). The radio block fills the
    twelve single-radio names (nav1, nav1s, ..., adf2s). Units are those of the catalogue
    (``values.by_name(name).unit``): ``msl``, ``agl`` and ``ind-alt`` in metres but the MCP's
    ``alt`` in feet, ``ias`` in knots but ``tas`` and ``gs`` in metres per second; ``values.SIGNS``
    gives the signs of ``magvar`` (east negative), ``pitch-att``, ``bank`` and ``drift``.

    A State holds what the latest data packet (full or position) and the latest speed-limit
    packet held: a value the program stops publishing (``fd-bank`` once the flight director is
    off) leaves it with the next packet of its kind. ``received_at(name)`` is when the packet
    that carried the value arrived (``time.monotonic()``), ``age(name)`` how long ago. A State
    handed out by a Panel is a snapshot: it does not change afterwards.

    ``state.ids`` maps every message identifier of those packets, known to the catalogue or
    not, to its raw value (see values.read_raw); ``state.raw`` maps every name to the raw value
    its value was read from, and ``state.text(name)`` gives the value as the monitor prints it.
    """

    __slots__ = ("_values", "_kind", "_received", "ids", "raw")

    def __init__(self) -> None:
        self._values: Dict[str, Value] = {}
        # For every name and identifier: the kind of packet it came in and when that arrived.
        self._kind: Dict[object, str] = {}
        self._received: Dict[object, float] = {}
        self.ids: Dict[int, Raw] = {}
        self.raw: Dict[str, Raw] = {}

    def take_packet(self, messages: Iterable[Tuple[int, bytes]], received: Optional[float] = None) -> None:
        """Replaces what the last packet of the same kind held by the application `messages`
        (id, payload) of one packet, received at `received` (time.monotonic(), now if None)."""
        messages = list(messages)
        if not messages:
            return
        kind = packet_kind(i for i, _ in messages)
        for key in [k for k, v in self._kind.items() if v == kind]:
            del self._kind[key]
            self._received.pop(key, None)
            if isinstance(key, str):
                del self._values[key]
                del self.raw[key]
            else:
                del self.ids[key]
        when = time.monotonic() if received is None else received
        for message_id, payload in messages:
            self.take(message_id, payload, when, kind)

    def take(
        self, message_id: int, payload: bytes, received: Optional[float] = None, kind: Optional[str] = None
    ) -> None:
        """Stores one received application message, over what the state held under its name."""
        when = time.monotonic() if received is None else received
        kind = kind or packet_kind([message_id])
        raw = values.read_raw(message_id, payload)
        self.ids[message_id] = raw
        self._kind[message_id] = kind
        self._received[message_id] = when
        entry = values.by_id(message_id)
        if entry is None:
            return
        if entry.show == "radio":
            if isinstance(raw, tuple):
                for word_id, word in zip(values.RADIO_WORD_IDS, raw):
                    self._store(word_id, word, when, kind)
            return
        self._store(message_id, raw, when, kind)

    def _store(self, message_id: int, raw: Raw, received: float, kind: str) -> None:
        entry = values.by_id(message_id)
        if entry is not None:
            self._values[entry.name] = values.value(entry, raw)
            self.raw[entry.name] = raw
            self._kind[entry.name] = kind
            self._received[entry.name] = received

    def copy(self) -> "State":
        """A snapshot that later messages do not change."""
        snapshot = State()
        snapshot._values = dict(self._values)
        snapshot._kind = dict(self._kind)
        snapshot._received = dict(self._received)
        snapshot.ids = dict(self.ids)
        snapshot.raw = dict(self.raw)
        return snapshot

    def received_at(self, name: str) -> float:
        """When the packet that carried `name` arrived, as time.monotonic(); KeyError if none."""
        return self._received[name.replace("_", "-")]

    def age(self, name: str) -> float:
        """Seconds since the packet that carried `name` arrived; KeyError if none."""
        return time.monotonic() - self.received_at(name)

    def text(self, name: str) -> str:
        """The value of `name` as zvmp-monitor prints it ("118.10", "0400"); KeyError if none yet."""
        entry = values.by_name(name)
        if entry is None or entry.name not in self.raw:
            raise KeyError(name)
        return values.text(entry, self.raw[entry.name])

    def line(self) -> str:
        """The values as one line of name=value pairs in the monitor's order ("lat=50.899872 ...")."""
        return " ".join(
            "%s=%s" % (e.name, values.text(e, self.raw[e.name])) for e in values.ENTRIES if e.name in self.raw
        )

    def __getitem__(self, name: str) -> Value:
        return self._values[name.replace("_", "-")]

    def __contains__(self, name: object) -> bool:
        return isinstance(name, str) and name.replace("_", "-") in self._values

    def __iter__(self) -> Iterator[str]:
        return iter(self._values)

    def __len__(self) -> int:
        return len(self._values)

    def __repr__(self) -> str:
        return "State(%s)" % self.line()

    def items_in_order(self) -> Tuple[Tuple[str, Value], ...]:
        """(name, value) pairs in the monitor's order."""
        return tuple((e.name, self._values[e.name]) for e in values.ENTRIES if e.name in self._values)
