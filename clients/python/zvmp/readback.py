"""What a command reads back as: the program's roundings and conversions between a value sent
and the value it then publishes under the same name, so that a panel can tell when a command has
taken effect (Panel.send(..., confirm=True)).

READS_BACK says it in words for every name a command can be confirmed under; NOT_SHOWN gives the
reason for the names it cannot.
"""

from __future__ import annotations

import math
import struct
from typing import Callable, Dict, Tuple

from .catalogue import Entry
from .state import State
from .wire import WORD

__all__ = ["NOT_SHOWN", "READS_BACK", "Expectation", "expect", "expect_all"]

_FLOAT = struct.Struct("<f")

#: How the published value follows a command, by name.
READS_BACK: Dict[str, str] = {
    "alt": "cut to whole feet, then down to a multiple of 100 ft: 12345 reads 12300",
    "vs": "cut to whole ft/min, then toward zero to a multiple of 100 when set (published in steps of 50): "
    "-150.7 reads -100, 1999 reads 1900",
    "hdg": "cut to whole degrees, 0 to 359: 359.9 reads 359, 360 reads 0",
    "crs1": "as hdg",
    "crs2": "as hdg",
    "spd": "knots cut to whole knots (250.7 reads 250); a Mach number (below 5) cut to hundredths "
    "(0.78, a little less than 0.78 in float32, reads 0.77), with spd-mach 1",
    "spd-mach": "as sent",
    "baro": "sent in sixteenths of a hectopascal, cut: reads within 0.001 inHg of that",
    "efis-range": "as sent",
    "efis-mode": "as sent",
    "efis-options": "as sent",
    "nav1-sel": "as sent",
    "nav2-sel": "as sent",
    "ap-source": "as sent",
    "xpdr-mode": "as sent",
    "xpdr": "as sent",
    "fd-mode": "as sent (0, 1 or 2)",
    "spd-hold": "as sent (0, 1 or 2)",
    "hdg-hold": "on reads non-zero (2 on the built-in simulator), off reads 0",
    "alt-hold": "as hdg-hold",
    "lnav-hold": "as hdg-hold",
    "loc-hold": "as hdg-hold; the program publishes the approach hold under it",
    "app-hold": "as hdg-hold; the program publishes the glideslope hold under it",
    "nav1": "as sent, in 10 kHz steps",
    "nav1s": "as nav1",
    "nav2": "as nav1",
    "nav2s": "as nav1",
    "com1": "as nav1",
    "com1s": "as nav1",
    "com2": "as nav1",
    "com2s": "as nav1",
    "adf1": "to 0.1 kHz, the finest step the simulator's ADF frequency takes",
    "adf2": "as adf1",
    "adf1s": "as sent: the program keeps the standby frequency itself",
    "adf2s": "as adf1s",
}

#: Why a command under these names never shows in what the program publishes.
NOT_SHOWN: Dict[str, str] = {
    "vs-hold": "the program takes it and does nothing with it",
    "vnav-hold": "the program takes it and does nothing with it",
    "lc-hold": "the program takes it and does nothing with it",
    "n1-hold": "the program takes it and does nothing with it",
    "roll": "the program publishes no value that shows a control input",
    "pitch": "the program publishes no value that shows a control input",
    "yaw": "the program publishes no value that shows a control input",
}

#: The only confirmable value a position panel receives.
_IN_POSITION_PACKET = ("baro",)


class Expectation:
    """What the state must show once a command under `name` has taken effect."""

    __slots__ = ("name", "text", "_test")

    def __init__(self, name: str, text: str, test: Callable[[State], bool]) -> None:
        self.name = name
        self.text = text  #: the value awaited, as "alt=12300"
        self._test = test

    def shown_by(self, state: State) -> bool:
        return self.name in state.raw and self._test(state)

    def reading(self, state: State) -> str:
        """What `state` shows instead ("35000", or "nothing" before the value arrives)."""
        return state.text(self.name) if self.name in state.raw else "nothing"

    def __repr__(self) -> str:
        return "Expectation(%s)" % self.text


def _trunc_float32(word: int) -> int:
    """The payload's float32 cut toward zero, as the program cuts a value for an integer dial."""
    return int(math.trunc(_FLOAT.unpack(WORD.pack(word))[0]))


def _f32(x: float) -> float:
    return float(_FLOAT.unpack(_FLOAT.pack(x))[0])


def _equals(name: str, raw: float, shown: str) -> Expectation:
    return Expectation(name, "%s=%s" % (name, shown), lambda s: s.raw[name] == raw)


def _dial(name: str, word: int) -> Expectation:
    whole = _trunc_float32(word)
    if name == "alt":
        value = whole // 100 * 100
    elif name == "vs":
        value = int(whole / 100) * 100
    else:
        value = whole % 360
    return _equals(name, float(value), str(value))


def _speed(word: int) -> Expectation:
    typed = _FLOAT.unpack(WORD.pack(word))[0]
    if typed < 5.0:
        mach = int(typed * 100.0) / 100.0
        return Expectation(
            "spd",
            "spd=%.2f (Mach)" % mach,
            lambda s: abs(float(s.raw["spd"]) - mach) < 1e-4 and s.raw.get("spd-mach") == 1,
        )
    knots = int(typed)
    return Expectation("spd", "spd=%d" % knots, lambda s: s.raw["spd"] == float(knots) and s.raw.get("spd-mach") == 0)


def _baro(word: int) -> Expectation:
    # Millibars times 16 in single precision, cut; published as float32 millibars / 33.86.
    inhg = _FLOAT.unpack(WORD.pack(word))[0]
    sixteenths = int(math.trunc(_f32(_f32(inhg * 16.0) * _f32(33.86))))
    shown = _f32(_f32(sixteenths / 16.0) / _f32(33.86))
    return Expectation("baro", "baro=%.3f" % shown, lambda s: abs(float(s.raw["baro"]) - shown) <= 0.001)


def _switch(name: str, word: int) -> Expectation:
    if word:
        return Expectation(name, "%s on" % name, lambda s: s.raw[name] != 0)
    return Expectation(name, "%s off" % name, lambda s: s.raw[name] == 0)


def expect(entry: Entry, word: int, kind: str = "full") -> Expectation:
    """What a panel of `kind` sees once the command `word` (the payload sent) under `entry` has
    taken effect. Raises ValueError for a command that never shows to such a panel."""
    name = entry.name
    if name in NOT_SHOWN:
        raise ValueError("%s cannot be confirmed: %s" % (name, NOT_SHOWN[name]))
    if name not in READS_BACK:
        raise ValueError("%s cannot be confirmed: the program takes no command under it" % name)
    if kind != "full" and name not in _IN_POSITION_PACKET:
        raise ValueError("%s cannot be confirmed: a position panel does not receive it" % name)
    if name in ("alt", "vs", "hdg", "crs1", "crs2"):
        return _dial(name, word)
    if name == "spd":
        return _speed(word)
    if name == "baro":
        return _baro(word)
    if name == "efis-range":
        value = _FLOAT.unpack(WORD.pack(word))[0]
        return _equals(name, value, "%g" % value)
    if name.endswith("-hold") and name != "spd-hold":
        return _switch(name, word)
    if name in ("adf1", "adf2"):
        word = word // 10 * 10
    if entry.input in ("mhz", "khz"):
        return _equals(name, word, "%d.%02d" % (word // 100, word % 100))
    if entry.show == "squawk":
        return _equals(name, word, "%04d" % word)
    return _equals(name, word, str(word))


def expect_all(kind: str, commands: Tuple[Tuple[Entry, int], ...]) -> Tuple[Expectation, ...]:
    """expect() for every (entry, word) of one packet; a later command under the same name
    replaces an earlier one, as the program carries them out in order."""
    last: Dict[str, Expectation] = {}
    for entry, word in commands:
        last.pop(entry.name, None)
        last[entry.name] = expect(entry, word, kind)
    return tuple(last.values())
