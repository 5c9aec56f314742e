#!/usr/bin/env python3
"""A console instrument panel: the main flight instruments, the MCP and the radios, redrawn in
place after every packet the program sends (about twenty a second).

    PYTHONPATH=clients/python python3 clients/python/examples/instrument_panel.py [--host ADDR] [--port N]

Ctrl-C ends it (and the stream). With --seconds it stops by itself.
"""

from __future__ import annotations

import argparse
import os
import sys
import time

import zvmp

M_TO_FT = 1 / 0.3048
MS_TO_KT = 1.94384449

CLEAR = "\x1b[H\x1b[J"


def text(state: zvmp.State, name: str) -> str:
    return state.text(name) if name in state else "-"


def draw(state: zvmp.State) -> str:
    altitude = "%.0f ft" % (state["ind-alt"] * M_TO_FT) if "ind-alt" in state else "-"
    ground_speed = "%.0f kt" % (state["gs"] * MS_TO_KT) if "gs" in state else "-"
    rows = [
        "IAS %7s kt   Mach %s   GS %s" % (text(state, "ias"), text(state, "mach"), ground_speed),
        "ALT %10s     VS %s ft/min   AGL %s m" % (altitude, text(state, "vsi"), text(state, "agl")),
        "HDG %5s true   pitch %s   bank %s" % (text(state, "true-hdg"), text(state, "pitch-att"), text(state, "bank")),
        "",
        "MCP  SPD %s  HDG %s  ALT %s  V/S %s   hdg-hold %s  alt-hold %s  fd-mode %s"
        % tuple(text(state, n) for n in ("spd", "hdg", "alt", "vs", "hdg-hold", "alt-hold", "fd-mode")),
        "COM1 %s / %s   NAV1 %s / %s   ADF1 %s   XPDR %s"
        % tuple(text(state, n) for n in ("com1", "com1s", "nav1", "nav1s", "adf1", "xpdr")),
        "BARO %s inHg   wind %s/%s kt   OAT %s C"
        % tuple(text(state, n) for n in ("baro", "wind-dir", "wind-spd", "oat")),
    ]
    return "\n".join(rows) + "\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=59000)
    parser.add_argument("--seconds", type=float, default=0, help="stop after this long (0: run until Ctrl-C)")
    args = parser.parse_args()
    terminal = sys.stdout.isatty()
    end = time.monotonic() + args.seconds if args.seconds else float("inf")
    with zvmp.Panel(args.host, port=args.port) as panel:
        if panel.wait(timeout=3.0) is None:
            print("no data from %s:%d" % (args.host, args.port), file=sys.stderr)
            return 1
        try:
            next_draw = 0.0
            for state in panel.updates(timeout=3.0):
                now = time.monotonic()
                # On a pipe, one screen a second rather than twenty.
                if terminal or now >= next_draw:
                    sys.stdout.write((CLEAR if terminal else "") + draw(state) + ("" if terminal else "\n"))
                    sys.stdout.flush()
                    next_draw = now + 1.0
                if now >= end:
                    break
        except KeyboardInterrupt:
            pass
        except BrokenPipeError:
            # The reader went away (`| head`): nothing more to show.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
    return 0


if __name__ == "__main__":
    sys.exit(main())
