"""What a panel knows: the latest value of every application message received so far."""

from __future__ import annotations

from typing import Dict, Iterator, Mapping, Tuple

from . import values
from .values import Raw, Value

__all__ = ["State"]


class State(Mapping[str, Value]):
    """A mapping of monitor name to latest value, in the monitor's units and types.

    ``state["ias"]`` is the indicated airspeed in knots (a float), ``state["xpdr"]`` the
    transponder code as its four digits (an int, 7000), ``state["com1"]`` COM1 in MHz (a float);
    names may be written with ``_`` for ``-`` (``state["hdg_hold"]``). The radio block fills the
    twelve single-radio names (nav1, nav1s, ..., adf2s). Values from the speed-limit packet merge
    in. A State handed out by a Panel is a snapshot: it does not change afterwards.

    ``state.ids`` maps every message identifier received, known to the catalogue or not, to its
    raw value (see values.read_raw); ``state.raw`` maps every name to the raw value its value was
    read from, and ``state.text(name)`` gives the value as the monitor prints it.
    """

    __slots__ = ("_values", "ids", "raw")

    def __init__(self) -> None:
        self._values: Dict[str, Value] = {}
        self.ids: Dict[int, Raw] = {}
        self.raw: Dict[str, Raw] = {}

    def take(self, message_id: int, payload: bytes) -> None:
        """Stores one received application message."""
        raw = values.read_raw(message_id, payload)
        self.ids[message_id] = raw
        entry = values.by_id(message_id)
        if entry is None:
            return
        if entry.show == "radio":
            if isinstance(raw, tuple):
                for word_id, word in zip(values.RADIO_WORD_IDS, raw):
                    self._store(word_id, word)
            return
        self._store(message_id, raw)

    def _store(self, message_id: int, raw: Raw) -> None:
        entry = values.by_id(message_id)
        if entry is not None:
            self._values[entry.name] = values.value(entry, raw)
            self.raw[entry.name] = raw

    def copy(self) -> "State":
        """A snapshot that later messages do not change."""
        snapshot = State()
        snapshot._values = dict(self._values)
        snapshot.ids = dict(self.ids)
        snapshot.raw = dict(self.raw)
        return snapshot

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
