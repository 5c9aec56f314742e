"""ZVMP for panels: subscribe to the Zorvan FS2020 Pyx Plugin's data and send it commands.

    import zvmp
    with zvmp.Panel("127.0.0.1", port=59000, kind="full") as panel:
        state = panel.wait(timeout=3.0)       # after the next data packet; None on time-out
        print(state["ias"], state["hdg"])     # names as zvmp-monitor prints them
        panel.send(hdg=270, alt=12000)        # names and pilot units as `zvmp-monitor send`

Standard library only. The wire format is in zvmp.wire, the message table in zvmp.catalogue,
the conversions in zvmp.values; docs/protocol.md describes the protocol.
"""

from .catalogue import ENTRIES, Entry
from .discovery import discover
from .panel import KINDS, Panel, send
from .state import State
from .wire import MalformedPacket

__version__ = "1.0.1"

__all__ = ["ENTRIES", "Entry", "KINDS", "MalformedPacket", "Panel", "State", "discover", "send", "__version__"]
