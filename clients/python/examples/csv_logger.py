#!/usr/bin/env python3
"""A flight logger: one CSV row per interval with the time and the values asked for (in the
units zvmp-monitor shows them), to a file or standard output.

    PYTHONPATH=clients/python python3 clients/python/examples/csv_logger.py \
        [--host ADDR] [--port N] [--every SECONDS] [--fields lat,lon,ind-alt,ias,hdg] [--seconds N] [FILE]

Ctrl-C ends it.
"""

from __future__ import annotations

import argparse
import csv
import os
import sys
import time
from typing import IO, List

import zvmp

DEFAULT_FIELDS = "lat,lon,ind-alt,ias,gs,vsi,true-hdg,pitch-att,bank,hdg,alt,com1,xpdr"


def log(panel: zvmp.Panel, out: IO[str], fields: List[str], every: float, seconds: float) -> int:
    writer = csv.writer(out)
    writer.writerow(["time"] + fields)
    end = time.monotonic() + seconds if seconds else float("inf")
    rows = 0
    next_row = time.monotonic()
    for state in panel.updates(timeout=3.0):
        now = time.monotonic()
        if now >= next_row:
            stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime()) + "Z"
            writer.writerow([stamp] + [state.text(f) if f in state else "" for f in fields])
            out.flush()
            rows += 1
            next_row = max(next_row + every, now)
        if now >= end:
            break
    return rows


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=59000)
    parser.add_argument("--every", type=float, default=1.0, help="seconds between rows (default 1)")
    parser.add_argument("--fields", default=DEFAULT_FIELDS, help="names as zvmp-monitor prints them")
    parser.add_argument("--seconds", type=float, default=0, help="stop after this long (0: run until Ctrl-C)")
    parser.add_argument("file", nargs="?", help="CSV file to write (default: standard output)")
    args = parser.parse_args()
    fields = [f.strip().replace("_", "-") for f in args.fields.split(",") if f.strip()]
    unknown = [f for f in fields if f not in {e.name for e in zvmp.ENTRIES}]
    if unknown:
        parser.error("unknown field(s): %s" % ", ".join(unknown))
    out = open(args.file, "w", newline="") if args.file else sys.stdout
    try:
        with zvmp.Panel(args.host, port=args.port) as panel:
            rows = log(panel, out, fields, args.every, args.seconds)
    except KeyboardInterrupt:
        rows = -1
    except BrokenPipeError:
        # The reader went away (`| head`): nothing more to write.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        rows = -1
    finally:
        if out is not sys.stdout:
            out.close()
    if rows == 0:
        print("no data from %s:%d" % (args.host, args.port), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
