#!/usr/bin/env python3
"""A minimal autopilot panel: set the MCP heading and altitude and switch heading and altitude
hold, by typed commands, and see the MCP as the program reports it back.

    PYTHONPATH=clients/python python3 clients/python/examples/autopilot_panel.py [--host ADDR] [--port N]

Commands, one a line:  hdg 270   alt 12000   hdg +10   alt -1000   hold hdg   hold alt   quit
A command is never answered: its effect shows in the next packets, which is what the panel
waits for before it prints the MCP again. End of input ends it too.
"""

from __future__ import annotations

import argparse
import sys
import time
from typing import Callable, Optional

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


def wait_for(panel: zvmp.Panel, shows: Callable[[zvmp.State], bool]) -> Optional[zvmp.State]:
    """The first state that `shows` the change, or the latest one after 3 s."""
    deadline = time.monotonic() + 3.0
    state = None
    for state in panel.updates(timeout=3.0):
        if shows(state) or time.monotonic() > deadline:
            break
    return state


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=59000)
    args = parser.parse_args()
    with zvmp.Panel(args.host, port=args.port) as panel:
        state = panel.wait(timeout=3.0)
        if state is None:
            print("no data from %s:%d" % (args.host, args.port), file=sys.stderr)
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
                    value = target(state, words[0], words[1])
                    name, wanted = words[0], round(value)
                    panel.send(**{name: wanted})
                    shows = lambda seen: name in seen and abs(seen[name] - wanted) < 1  # noqa: E731
                elif len(words) == 2 and words[0] == "hold" and words[1] in ("hdg", "alt"):
                    name = words[1] + "-hold"
                    was = state.get(name)
                    panel.send(**{name: 0 if was else 1})
                    shows = lambda seen: seen.get(name) != was  # noqa: E731
                else:
                    print("hdg N | alt N | hdg +N | alt -N | hold hdg | hold alt | quit")
                    continue
            except ValueError as refused:
                print(refused)
                continue
            state = wait_for(panel, shows) or state
            print(mcp(state), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
