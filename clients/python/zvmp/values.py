"""Application message values, read and written the way zvmp-monitor reads and writes them.

A received payload has a *raw* value (the float32 or float64 as sent, or the 32-bit word, signed
where the message carries a signed number, or the words of a block), a *value* in the monitor's
units and types (floats for measures and frequencies in MHz or kHz, ints for codes, switches and
the transponder code read as its four digits), and the *text* the monitor prints. A command's
value, typed as text or given as a number, becomes the one 32-bit payload word the program
takes, after the same checks as the monitor's `send`.
"""

from __future__ import annotations

import math
import re
import struct
from typing import Dict, Optional, Tuple, Union

from .catalogue import (
    ENTRIES,
    HPA_MAX,
    HPA_MIN,
    HPA_PER_INHG,
    KIND_BLOCK,
    KIND_FLOAT32,
    KIND_FLOAT64,
    KIND_INT32,
    RADIO_WORD_IDS,
    Entry,
)
from .wire import WORD

Value = Union[int, float]
Raw = Union[int, float, Tuple[int, ...]]

__all__ = [
    "ENTRIES",
    "Entry",
    "RADIO_WORD_IDS",
    "Raw",
    "SIGNS",
    "Value",
    "by_id",
    "by_name",
    "command_word",
    "read_raw",
    "text",
    "takes_on_off",
    "text_with_unit",
    "value",
]

#: The signs of the published angles whose sense is not plain from their names, as the program
#: publishes them on its built-in simulator (each is the simulator's own with its sign reversed,
#: apart from drift).
SIGNS: Dict[str, str] = {
    "magvar": "east negative: magnetic heading = true-hdg + magvar (1.9 deg east reads -1.9)",
    "pitch-att": "nose up positive",
    "bank": "right wing down positive",
    "drift": "true heading minus true track, -180 up to 180",
}

_BY_ID: Dict[int, Entry] = {e.id: e for e in ENTRIES}
_BY_NAME: Dict[str, Entry] = {e.name: e for e in ENTRIES}

_FLOAT = struct.Struct("<f")
_DOUBLE = struct.Struct("<d")
_SIGNED = struct.Struct("<i")

# Numbers as the monitor reads them: an optional minus, digits with an optional point, an
# optional exponent; no plus sign, no spaces, no underscores.
_DECIMAL = re.compile(r"-?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")
_WHOLE = re.compile(r"[0-9]+")
_HEX = re.compile(r"0[xX]([0-9a-fA-F]+)")
_SQUAWK = re.compile(r"[0-7]{1,4}")


def by_id(message_id: int) -> Optional[Entry]:
    """The catalogue entry of an identifier, or None."""
    return _BY_ID.get(message_id)


def by_name(name: str) -> Optional[Entry]:
    """The catalogue entry of a monitor name ("hdg-hold"; "hdg_hold" is taken too), or None."""
    return _BY_NAME.get(name.replace("_", "-"))


def read_raw(message_id: int, payload: bytes) -> Raw:
    """The raw value of a payload of the size that `message_id` states.

    float32 and float64 kinds read as floats; one word reads as an int, signed for the int32
    messages that carry signed numbers (and for int32 messages the catalogue does not know);
    anything longer as a tuple of unsigned words.
    """
    kind = message_id >> 24
    if kind == KIND_FLOAT64 and len(payload) == 8:
        return float(_DOUBLE.unpack(payload)[0])
    if kind == KIND_FLOAT32 and len(payload) == 4:
        return float(_FLOAT.unpack(payload)[0])
    if len(payload) == 4:
        entry = _BY_ID.get(message_id)
        signed = entry.show == "int" if entry is not None else kind == KIND_INT32
        return int((_SIGNED if signed else WORD).unpack(payload)[0])
    return tuple(int(w) for w in struct.unpack("<%dI" % (len(payload) // 4), payload))


def _short_float32(x: float) -> float:
    """The shortest decimal that reads back as the same float32: 29.92, not 29.920000076293945."""
    if not math.isfinite(x):
        return x
    exact = _FLOAT.pack(x)
    for digits in range(1, 10):
        candidate = float("%.*g" % (digits, x))
        if _FLOAT.pack(candidate) == exact:
            return candidate
    return x


def value(entry: Entry, raw: Raw) -> Value:
    """The value of `raw` in the monitor's unit and type: float, or int for codes and switches.

    float32 values come as the shortest decimal that is the same float32 (a float32 holds about
    seven digits; 29.92 inHg rather than 29.920000076293945). Frequencies become MHz or kHz
    (11810 is 118.1); the transponder code stays the number whose digits are the code (7000).
    """
    if isinstance(raw, tuple):
        raise ValueError("%s: a block has no single value" % entry.name)
    if entry.show in ("float", "speed"):
        return _short_float32(float(raw)) if entry.id >> 24 == KIND_FLOAT32 else float(raw)
    if entry.show == "freq":
        return int(raw) / 100
    return int(raw)


def _fixed(x: float, decimals: int) -> str:
    text = "%.*f" % (decimals, x)
    # -0.0 and values that round to zero would show a lone minus sign.
    if text.startswith("-") and not text.strip("-0."):
        text = text[1:]
    return text


def text(entry: Entry, raw: Raw) -> str:
    """`raw` as zvmp-monitor prints it ("118.10", "0400", "0x23C", "0.780")."""
    if isinstance(raw, tuple):
        return ""
    if entry.show == "float":
        return _fixed(float(raw), entry.decimals)
    if entry.show == "speed":
        return _fixed(float(raw), 3 if raw < 5.0 else 0)
    word = int(raw)
    if entry.show == "hex":
        return "0x%X" % word
    if entry.show == "squawk":
        return "%04d" % word
    if entry.show == "freq":
        return "%d.%02d" % (word // 100, word % 100)
    return str(word)


def text_with_unit(entry: Entry, raw: Raw) -> str:
    """The text followed by the unit, if any ("270 deg", "0.780 Mach")."""
    shown = text(entry, raw)
    if entry.show == "speed" and not isinstance(raw, tuple):
        return shown + (" Mach" if raw < 5.0 else " kt")
    return shown + " " + entry.unit if entry.unit else shown


def takes_on_off(entry: Entry) -> bool:
    """Whether a command under `entry` takes "on" and "off" (and True and False): a switch."""
    return entry.input == "word" and entry.max <= 2


def _as_text(entry: Entry, given: Union[str, int, float, bool]) -> str:
    if isinstance(given, str):
        return given
    if isinstance(given, bool):
        if not takes_on_off(entry):
            raise ValueError(
                "%s: %r is not a value for it: True and False are for on/off values (takes %s)"
                % (entry.name, given, entry.takes)
            )
        return "on" if given else "off"
    if isinstance(given, int):
        return str(given)
    if isinstance(given, float):
        return repr(given)
    raise ValueError("%s: %r is neither a number nor text" % (entry.name, given))


def _number(text_value: str) -> Optional[float]:
    if not _DECIMAL.fullmatch(text_value):
        return None
    x = float(text_value)
    # The monitor refuses what does not fit a double: overflow, and underflow to zero.
    if not math.isfinite(x) or (x == 0.0 and re.search(r"[1-9]", text_value.split("e")[0].split("E")[0])):
        return None
    return x


def _whole(text_value: str) -> Optional[int]:
    hexadecimal = _HEX.fullmatch(text_value)
    if hexadecimal:
        number = int(hexadecimal.group(1), 16)
    elif _WHOLE.fullmatch(text_value):
        number = int(text_value)
    else:
        return None
    return number if number < 1 << 64 else None


def _c_round(x: float) -> float:
    """Rounds half away from zero, as C's round()."""
    return math.copysign(math.floor(abs(x) + 0.5), x)


def command_word(entry: Entry, given: Union[str, int, float, bool]) -> int:
    """The payload word that sets `entry` to `given`, checked as the monitor's `send` checks it.

    `given` is text as typed after `zvmp-monitor send NAME` ("270", "118.10", "on", "0x23C"), or
    a number (written out and read the same way), or True or False for an on/off value. "on" and
    "off" are taken in any letter case. Raises ValueError, with the monitor's one-line reason, for
    a message the program does not take, a value that does not read, or one out of range.
    """
    if entry.input == "none":
        raise ValueError("%s: the program shows this value but takes none" % entry.name)
    typed = _as_text(entry, given)

    def fail(why: str) -> ValueError:
        return ValueError("%s: '%s' %s (takes %s)" % (entry.name, typed, why, entry.takes))

    if entry.input in ("float", "baro"):
        x = _number(typed)
        if x is None:
            raise fail("is not a number")
        if entry.input == "baro" and HPA_MIN <= x <= HPA_MAX:
            x /= HPA_PER_INHG
        elif x < entry.min or x > entry.max:
            raise fail("is out of range")
        return int(WORD.unpack(_FLOAT.pack(x))[0])
    if entry.input == "word":
        # ASCII letters only, as the monitor compares them.
        switch = typed.lower() if typed.isascii() else typed
        if takes_on_off(entry) and switch in ("on", "off"):
            return 1 if switch == "on" else 0
        number = _whole(typed)
        if number is None:
            raise fail("is not a whole number")
        if float(number) < entry.min or float(number) > entry.max:
            raise fail("is out of range")
        return number
    if entry.input == "squawk":
        if not _SQUAWK.fullmatch(typed):
            raise fail("is not a transponder code")
        return int(typed)
    if entry.input in ("mhz", "khz"):
        x = _number(typed)
        if x is None:
            raise fail("is not a number")
        # Whole hundredths of the unit, cut as the program's own radio readings are; the small
        # addition keeps 118.10, which is 11809.99... in binary, at 11810.
        steps = math.floor(x * 100.0 + 1e-6)
        if steps < _c_round(entry.min * 100.0) or steps > _c_round(entry.max * 100.0):
            raise fail("is out of range")
        return int(steps)
    raise ValueError("%s: takes no value this client knows how to send" % entry.name)
