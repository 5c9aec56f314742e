"""ZVMP for panels: subscribe to the Zorvan FS2020 Pyx Plugin's data and send it commands.

    import zvmp
    with zvmp.Panel("127.0.0.1", port=59000, kind="full") as panel:
        state = panel.wait(timeout=3.0, raise_on_timeout=True)  # after the next data packet
        print(state["ias"], state["hdg"])     # names as zvmp-monitor prints them
        panel.send(hdg=270, alt=12000, confirm=True)  # waits until the data shows both

Standard library only. The wire format is in zvmp.wire, the message table in zvmp.catalogue,
the conversions in zvmp.values, what a command reads back as in zvmp.readback;
docs/protocol.md describes the protocol.
"""

from .catalogue import ENTRIES, Entry
from .discovery import discover
from .panel import KINDS, STATUS_TEXTS, STATUSES, NoDataError, NotConfirmedError, Panel, PanelError, send
from .state import State
from .wire import MalformedPacket

__version__ = "1.0.1"

__all__ = [
    "ENTRIES",
    "Entry",
    "KINDS",
    "MalformedPacket",
    "NoDataError",
    "NotConfirmedError",
    "Panel",
    "PanelError",
    "STATUSES",
    "STATUS_TEXTS",
    "State",
    "discover",
    "send",
    "__version__",
]
