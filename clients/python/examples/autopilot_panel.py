#!/usr/bin/env python3
"""A minimal autopilot panel: set the MCP heading and altitude and switch heading and altitude
hold, by typed commands, and see the MCP as the program reports it back.

    PYTHONPATH=clients/python python3 clients/python/examples/autopilot_panel.py [--host ADDR] [--port N]

Commands, one a line:  hdg 270   alt 12000   hdg +10   alt -1000   hold hdg   hold alt   quit
A command is never answered: its effect shows in the next packets, as the program rounds it
(alt 12345 shows as 12300), which is what the panel waits for (send(..., confirm=True)) before
it prints the MCP again. End of input ends it too.
"""

from __future__ import annotations

import argparse
import sys

import zvmp


def mcp(state: zvmp.State) -> str:
    return "MCP  HDG %s  ALT %s ft   hdg-hold %s  alt-hold %s" % tuple(
        state.text(n) if n in state else "-" for n in ("hdg", "alt", "hdg-hold", "alt-hold")
    )


def target(state: zvmp.State, name: str, typed: str) -> float:
    """An absolute value, or one relative to the current one ("+10", "-1000")."""
    if typed[:1] in "+-" and name in state:
        value = float(state[name]) + float(typed)
        return value % 360 if name == "hdg" else value
    return float(typed)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=59000)
    args = parser.parse_args()
    with zvmp.Panel(args.host, port=args.port) as panel:
        try:
            state = panel.wait(timeout=3.0, raise_on_timeout=True)
        except zvmp.NoDataError as silent:
            print(silent, file=sys.stderr)
            return 1
        print(mcp(state), flush=True)
        for line in sys.stdin:
            words = line.split()
            if not words:
                continue
            if words[0] in ("quit", "q"):
                break
            try:
                if len(words) == 2 and words[0] in ("hdg", "alt"):
                    command = {words[0]: target(state, words[0], words[1])}
                elif len(words) == 2 and words[0] == "hold" and words[1] in ("hdg", "alt"):
                    name = words[1] + "-hold"
                    command = {name: not state.get(name)}
                else:
                    print("hdg N | alt N | hdg +N | alt -N | hold hdg | hold alt | quit")
                    continue
                state = panel.send(confirm=3.0, **command) or state
            except (ValueError, TimeoutError) as failed:
                print(failed)
                state = panel.state
            print(mcp(state), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
