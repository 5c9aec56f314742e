"""The protocol's numbers and the application messages.

The numbers: the packet's size limits, the protocol version and type codes of node type words,
the network's own messages, the multicast group and ports, the program's port range, the
payload kinds and the message groups. The messages: for every identifier the name that
zvmp-monitor uses for it (the same for a value received and a command sent), what it is, its
unit, how its payload reads, and what a command under it takes. Catalogue order is the
monitor's display order.

Both are generated from the program's own (protocol/network.h, protocol/messages.h,
protocol/catalogue.h) by `zvmp-catalogue --python`, and a test holds this copy to them: edit the
program's, not this block.
"""

from typing import NamedTuple, Tuple


class Entry(NamedTuple):
    """One application message."""

    id: int  #: kind byte, payload length in words, group, item
    name: str  #: as zvmp-monitor prints it
    label: str  #: what it is
    unit: str  #: of the value read and of a command's value; "" for plain numbers
    section: str  #: the monitor's block
    show: str  #: float, int, word, hex, squawk, freq, speed or radio (how the payload reads)
    decimals: int  #: shown by the monitor, for "float"
    input: str  #: none, float, word, squawk, mhz, khz or baro (what a command takes)
    min: float  #: accepted command values, in the unit typed
    max: float
    takes: str  #: what a command takes, in words


# Generated from protocol/catalogue.h by zvmp-catalogue --python: edit the catalogue, not this block.
#: A packet's header, and the largest packet a program reads.
HEADER_SIZE = 24
MAX_PACKET = 1472
#: The protocol version in bits 16..23 of every node type word, and the type codes (bits 24..31)
#: of the program and of the two kinds of panel it streams to.
VERSION = 6
PROGRAM_TYPE_CODE = 0x13
FULL_PANEL = 0x81
POSITION_PANEL = 0x84
#: The network's own messages.
HELLO = 0x02010101
STREAM_REQUEST = 0x01000102
STREAM_STOP = 0x01000103
#: A program says hello to this group on these ports, and binds the first free port from
#: FIRST_PORT to LAST_PORT.
MULTICAST_GROUP = "239.224.224.1"
MULTICAST_PORTS: Tuple[int, ...] = (2424, 2425, 2426)
FIRST_PORT = 59000
LAST_PORT = 59999
#: Payload kinds: the identifier's top byte.
KIND_INT32 = 0x22
KIND_FLOAT32 = 0x26
KIND_FLOAT64 = 0x27
KIND_BLOCK = 0x2a
#: Message groups: the identifier's third byte.
GROUP_NETWORK = 0x01
GROUP_POSITION = 0x11
GROUP_AIR_DATA = 0x12
GROUP_SPEED_LIMITS = 0x14
GROUP_GEAR_FLAPS = 0x15
GROUP_AUTOPILOT = 0x16
GROUP_EFIS = 0x17
GROUP_FLIGHT_DIRECTOR = 0x18
GROUP_CONTROLS = 0x19
GROUP_RADIOS = 0x1d

ENTRIES: Tuple[Entry, ...] = (
    # Position
    Entry(0x27021101, "lat", "latitude", "deg", "Position", "float", 6, "none", 0.0, 0.0, ""),
    Entry(0x27021102, "lon", "longitude", "deg", "Position", "float", 6, "none", 0.0, 0.0, ""),
    Entry(0x27021103, "ind-alt", "indicated altitude", "m", "Position", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x26011110, "msl", "altitude above mean sea level", "m", "Position", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x26011111, "agl", "height above ground", "m", "Position", "float", 1, "none", 0.0, 0.0, ""),
    # Attitude
    Entry(0x26011104, "pitch-att", "pitch attitude", "deg", "Attitude", "float", 2, "none", 0.0, 0.0, ""),
    Entry(0x26011105, "bank", "bank", "deg", "Attitude", "float", 2, "none", 0.0, 0.0, ""),
    Entry(0x26011106, "true-hdg", "true heading", "deg", "Attitude", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x26011107, "magvar", "magnetic variation", "deg", "Attitude", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x26011108, "aoa", "angle of attack", "deg", "Attitude", "float", 2, "none", 0.0, 0.0, ""),
    Entry(0x26011109, "drift", "drift angle", "deg", "Attitude", "float", 2, "none", 0.0, 0.0, ""),
    # Speeds
    Entry(0x2601110b, "ias", "indicated airspeed", "kt", "Speeds", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x2601110d, "tas", "true airspeed", "m/s", "Speeds", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x2601110a, "gs", "ground speed", "m/s", "Speeds", "float", 1, "none", 0.0, 0.0, ""),
    Entry(0x2601110c, "mach", "Mach number", "", "Speeds", "float", 3, "none", 0.0, 0.0, ""),
    Entry(0x2601110e, "vsi", "vertical speed", "ft/min", "Speeds", "float", 0, "none", 0.0, 0.0, ""),
    # Air data
    Entry(0x26011201, "baro", "altimeter setting", "inHg", "Air data", "float", 2, "baro", 25.0, 35.0, "inHg, 25.00 to 35.00, or hPa, 850 to 1100"),
    Entry(0x26011203, "wind-dir", "wind direction, true", "deg", "Air data", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011202, "wind-spd", "wind speed", "kt", "Air data", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011204, "oat", "outside air temperature", "degC", "Air data", "float", 1, "none", 0.0, 0.0, ""),
    # Speed limits
    Entry(0x26011401, "vs0", "stall speed, landing configuration", "kt", "Speed limits", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011402, "vs1", "stall speed, clean", "kt", "Speed limits", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011403, "vfe", "flaps extended speed", "kt", "Speed limits", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011404, "limit-04", "speed limit 4, always 0", "kt", "Speed limits", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011405, "vne", "never exceed speed", "kt", "Speed limits", "float", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011406, "mmo", "maximum operating Mach number", "", "Speed limits", "float", 2, "none", 0.0, 0.0, ""),
    # Gear/flaps
    Entry(0x22011501, "gear", "gear handle, 1 down", "", "Gear/flaps", "int", 0, "none", 0.0, 0.0, ""),
    Entry(0x26011503, "flaps", "flaps handle, fraction of full", "", "Gear/flaps", "float", 2, "none", 0.0, 0.0, ""),
    # Radios
    Entry(0x22011d11, "nav1", "NAV1 active frequency", "MHz", "Radios", "freq", 2, "mhz", 108.0, 117.95, "MHz, 108.00 to 117.95"),
    Entry(0x22011d21, "nav1s", "NAV1 standby frequency", "MHz", "Radios", "freq", 2, "mhz", 108.0, 117.95, "MHz, 108.00 to 117.95"),
    Entry(0x22011d12, "nav2", "NAV2 active frequency", "MHz", "Radios", "freq", 2, "mhz", 108.0, 117.95, "MHz, 108.00 to 117.95"),
    Entry(0x22011d22, "nav2s", "NAV2 standby frequency", "MHz", "Radios", "freq", 2, "mhz", 108.0, 117.95, "MHz, 108.00 to 117.95"),
    Entry(0x22011d13, "com1", "COM1 active frequency", "MHz", "Radios", "freq", 2, "mhz", 118.0, 136.99, "MHz, 118.00 to 136.99"),
    Entry(0x22011d23, "com1s", "COM1 standby frequency", "MHz", "Radios", "freq", 2, "mhz", 118.0, 136.99, "MHz, 118.00 to 136.99"),
    Entry(0x22011d14, "com2", "COM2 active frequency", "MHz", "Radios", "freq", 2, "mhz", 118.0, 136.99, "MHz, 118.00 to 136.99"),
    Entry(0x22011d24, "com2s", "COM2 standby frequency", "MHz", "Radios", "freq", 2, "mhz", 118.0, 136.99, "MHz, 118.00 to 136.99"),
    Entry(0x22011d15, "adf1", "ADF1 active frequency", "kHz", "Radios", "freq", 2, "khz", 100.0, 1799.99, "kHz, 100.00 to 1799.99"),
    Entry(0x22011d25, "adf1s", "ADF1 standby frequency", "kHz", "Radios", "freq", 2, "khz", 100.0, 1799.99, "kHz, 100.00 to 1799.99"),
    Entry(0x22011d16, "adf2", "ADF2 active frequency", "kHz", "Radios", "freq", 2, "khz", 100.0, 1799.99, "kHz, 100.00 to 1799.99"),
    Entry(0x22011d26, "adf2s", "ADF2 standby frequency", "kHz", "Radios", "freq", 2, "khz", 100.0, 1799.99, "kHz, 100.00 to 1799.99"),
    Entry(0x2a0c1d31, "radios", "radio block", "", "Radios", "radio", 0, "none", 0.0, 0.0, ""),
    # Transponder
    Entry(0x22011d31, "xpdr", "transponder code", "", "Transponder", "squawk", 0, "squawk", 0.0, 7777.0, "four digits 0 to 7, e.g. 7000"),
    Entry(0x22011d32, "xpdr-mode", "transponder mode", "", "Transponder", "word", 0, "word", 0.0, 4294967295.0, "whole number, as the panels number the modes"),
    # MCP
    Entry(0x26011601, "alt", "MCP altitude", "ft", "MCP", "float", 0, "float", 0.0, 50000.0, "feet, 0 to 50000"),
    Entry(0x26011602, "spd", "MCP speed", "kt/Mach", "MCP", "speed", 0, "float", 0.01, 999.0, "knots, 5 to 999, or Mach below 5 (e.g. 0.78); also sets the speed mode"),
    Entry(0x26011603, "hdg", "MCP heading", "deg", "MCP", "float", 0, "float", 0.0, 360.0, "degrees, 0 to 360"),
    Entry(0x26011604, "vs", "MCP vertical speed", "ft/min", "MCP", "float", 0, "float", -10000.0, 10000.0, "feet per minute, -10000 to 10000"),
    Entry(0x26011631, "crs1", "course 1", "deg", "MCP", "float", 0, "float", 0.0, 360.0, "degrees, 0 to 360"),
    Entry(0x26011632, "crs2", "course 2", "deg", "MCP", "float", 0, "float", 0.0, 360.0, "degrees, 0 to 360"),
    Entry(0x22011611, "spd-mach", "speed mode, 1 Mach, 0 knots", "", "MCP", "word", 0, "word", 0.0, 1.0, "1 (or on) for Mach, 0 (or off) for knots"),
    Entry(0x22011612, "ap-source", "autopilot navigation source", "", "MCP", "word", 0, "word", 0.0, 2.0, "0, 1 or 2 (2: GPS drives NAV1)"),
    # Modes
    Entry(0x22011621, "spd-hold", "speed mode status", "", "Modes", "word", 0, "word", 0.0, 2.0, "0 off, 1 auto-throttle armed, 2 armed with speed hold"),
    Entry(0x22011622, "lnav-hold", "LNAV", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011623, "vnav-hold", "VNAV", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011624, "hdg-hold", "heading mode", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011625, "loc-hold", "localizer", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011626, "alt-hold", "altitude hold", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011627, "vs-hold", "vertical speed mode", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011628, "app-hold", "glideslope status, approach mode", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x22011629, "lc-hold", "level change", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    Entry(0x2201162a, "n1-hold", "N1", "", "Modes", "word", 0, "word", 0.0, 1.0, "on or off (1 or 0)"),
    # Flight director
    Entry(0x22011801, "fd-mode", "flight director mode", "", "Flight director", "word", 0, "word", 0.0, 2.0, "0 FD and AP off, 1 FD on and AP off, 2 FD on and AP engaged"),
    Entry(0x26011802, "fd-pitch", "flight director pitch command", "deg", "Flight director", "float", 2, "none", 0.0, 0.0, ""),
    Entry(0x26011803, "fd-bank", "flight director bank command", "deg", "Flight director", "float", 2, "none", 0.0, 0.0, ""),
    # EFIS
    Entry(0x22011701, "efis-mode", "EFIS display mode", "", "EFIS", "word", 0, "word", 0.0, 4.0, "0, 1, 2 or 4, as the mode selector steps"),
    Entry(0x22011702, "efis-options", "EFIS option bit set", "", "EFIS", "hex", 0, "word", 0.0, 4294967295.0, "bit set, e.g. 0x23C (WXR 0x1, TFC 0x2, ARPT 0x4, WPT 0x8, STA 0x30, CTR 0x200)"),
    Entry(0x26011703, "efis-range", "navigation display range", "nm", "EFIS", "float", 0, "float", 0.01, 1000.0, "nautical miles, e.g. 5, 10, 20, 40, 80, 160, 320, 640"),
    Entry(0x22011711, "nav1-sel", "navigation display NAV1 selector", "", "EFIS", "word", 0, "word", 0.0, 2.0, "0, 1 or 2"),
    Entry(0x22011712, "nav2-sel", "navigation display NAV2 selector", "", "EFIS", "word", 0, "word", 0.0, 2.0, "0, 1 or 2"),
    # Controls
    Entry(0x26011901, "roll", "roll control input", "", "Controls", "float", 2, "float", -90.0, 90.0, "-90 to 90, 90 being full deflection"),
    Entry(0x26011902, "pitch", "pitch control input", "", "Controls", "float", 2, "float", -90.0, 90.0, "-90 to 90, 90 being full deflection"),
    Entry(0x26011903, "yaw", "yaw control input", "", "Controls", "float", 2, "float", -90.0, 90.0, "-90 to 90, 90 being full deflection"),
)

#: The twelve words of the radio block, each named by the single-radio message it stands for.
RADIO_WORD_IDS: Tuple[int, ...] = (
    0x22011d11, 0x22011d21, 0x22011d12, 0x22011d22, 0x22011d13, 0x22011d23,
    0x22011d14, 0x22011d24, 0x22011d15, 0x22011d25, 0x22011d16, 0x22011d26,
)

#: Hectopascals per inch of mercury, and the range of a "baro" command read as hectopascals.
HPA_PER_INHG = 33.86
HPA_MIN = 850.0
HPA_MAX = 1100.0
# End of the generated block.
