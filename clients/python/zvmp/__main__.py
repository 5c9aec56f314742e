"""python -m zvmp: zvmp-monitor's line output and its `send`, in Python.

    python -m zvmp [--host ADDR] [--port N] [--type 81|84]
    python -m zvmp [options] send NAME VALUE [NAME VALUE ...]
    python -m zvmp send --list
    python -m zvmp discover [SECONDS]
    python -m zvmp web [--host ADDR] [--port N] [--listen ADDRESS:PORT] [--allow NETWORK[/BITS]]...
                       [--page DIR]

Without a command it subscribes and prints one line a second, "rate=N name=value ...", as
zvmp-monitor prints when its output is not a terminal, until Ctrl-C or SIGTERM, which send a
stream stop. `web` serves a cockpit panel to browsers (zvmp.web) until Ctrl-C or SIGTERM.
Exit status: 0 done, 1 no program answered, 2 bad arguments (or, for web, an address it cannot
listen on).
"""

from __future__ import annotations

import os
import signal
import socket
import sys
import time
from types import FrameType
from typing import List, Optional, Sequence, Tuple

from . import values, web
from .catalogue import FIRST_PORT
from .address import refusal, unusable_reason
from .discovery import discover
from .panel import Panel, PanelError, send

USAGE = """usage: python -m zvmp [--host ADDR] [--port N] [--type 81|84]
       python -m zvmp [options] send NAME VALUE [NAME VALUE ...]
       python -m zvmp send --list
       python -m zvmp discover [SECONDS]
       python -m zvmp web [--host ADDR] [--port N] [--listen ADDRESS:PORT] [--allow NETWORK[/BITS]]...
                          [--page DIR]

Shows what the Pyx plugin at ADDR:N (default 127.0.0.1:59000) publishes, as a panel of
type 81 (full data, the default) or 84 (position data), one line a second; or sends it
commands by name; or lists the programs that say hello on the local network; or serves a
cockpit panel to the browsers that reach --listen (default 0.0.0.0:8080, every address of
this computer; --allow, repeatable, admits only those networks), for the program at --host
or, without --host and --port, the first program heard saying hello; --page serves the files of
DIR in place of the panel page (docs/web.md describes the interface they can use).
Command values are in the units a pilot uses: NAV and COM in MHz (com1 118.10), ADF in kHz
(adf1 350, carried as 35000 hundredths of a kHz), altitude in feet; send --list gives each.
"""


# How the user called this: "python -m zvmp", or the installed command "zvmp".
_program_name = "python -m zvmp"


def _say(message: str) -> None:
    print("%s: %s" % (_program_name, message), file=sys.stderr)


class Usage(Exception):
    """A command line that cannot be used."""


class Args:
    def __init__(self) -> None:
        self.host = "127.0.0.1"
        self.port = FIRST_PORT
        self.kind = "full"
        self.mode = "monitor"
        self.words: List[str] = []
        self.program_given = False
        self.kind_given = False
        self.listen: Optional[Tuple[str, int]] = None
        self.allow: List[web.Network] = []
        self.page: Optional[str] = None


# Options that take a value.
_VALUED = ("--host", "--port", "--type", "--listen", "--allow", "--page")


def _option(args: Args, name: str, value: str) -> None:
    if name == "--page":
        if not os.path.isdir(value):
            raise Usage("--page takes a folder, and '%s' is none" % value)
        args.page = value
        return
    if name in ("--listen", "--allow"):
        try:
            if name == "--listen":
                args.listen = web.parse_listen(value)
            else:
                args.allow.append(web.parse_network(value))
        except ValueError as e:
            raise Usage(str(e)) from None
        return
    args.program_given |= name in ("--host", "--port")
    args.kind_given |= name == "--type"
    if name == "--host":
        try:
            socket.inet_aton(value)
        except OSError:
            raise Usage("--host takes a numeric IPv4 address, not '%s'" % value) from None
        if value.count(".") != 3:
            raise Usage("--host takes a numeric IPv4 address, not '%s'" % value)
        why = unusable_reason(value)
        if why is not None:
            raise Usage(refusal("--host", value, why))
        args.host = value
    elif name == "--port":
        if not value.isdigit() or not 0 < int(value) <= 0xFFFF:
            raise Usage("--port takes a port number from 1 to 65535, not '%s'" % value)
        args.port = int(value)
    else:
        code = value[2:] if value[:2] in ("0x", "0X") else value
        if code not in ("81", "84"):
            raise Usage("--type takes 81 or 84, not '%s'" % value)
        args.kind = "full" if code == "81" else "position"


def parse_args(argv: Sequence[str]) -> Args:
    """The command line as zvmp-monitor reads it (a value may start with '-')."""
    args = Args()
    i = 0
    while i < len(argv):
        arg = argv[i]
        i += 1
        if args.mode == "send" and len(args.words) % 2 == 1:
            args.words.append(arg)
        elif arg in ("send", "discover", "web") and args.mode == "monitor":
            args.mode = arg
        elif arg in ("--help", "-h"):
            args.mode = "help"
            return args
        elif arg == "--list" and args.mode == "send":
            args.mode = "list"
        elif arg.partition("=")[0] in _VALUED:
            name, equals, value = arg.partition("=")
            if equals:
                _option(args, name, value)
            elif i == len(argv):
                raise Usage("%s needs a value" % name)
            else:
                _option(args, name, argv[i])
                i += 1
        elif arg.startswith("-"):
            raise Usage("unknown option '%s'" % arg)
        elif args.mode == "send":
            args.words.append(arg)
        elif args.mode == "discover" and not args.words:
            args.words.append(arg)
        else:
            raise Usage("unexpected argument '%s' (see %s --help)" % (arg, _program_name))
    if args.mode == "list" and args.words:
        raise Usage("send --list takes no names")
    if args.mode != "web" and (args.listen or args.allow or args.page):
        raise Usage("--listen, --allow and --page are for web")
    if args.mode == "web" and args.kind_given:
        raise Usage("web joins as a full-data panel and takes no --type")
    return args


def send_list() -> str:
    """The names `send` takes, with their identifiers and what each takes (as the monitor's)."""
    out = "NAME          ID          SETS                              TAKES\n"
    for e in values.ENTRIES:
        if e.input != "none":
            out += "%-13s 0x%08x  %-33s %s\n" % (e.name, e.id, e.label, e.takes)
    return out


def _stop(signum: int, frame: Optional[FrameType]) -> None:
    raise KeyboardInterrupt


def run_monitor(args: Args) -> int:
    """One line a second, "rate=N name=value ...", until interrupted."""
    signal.signal(signal.SIGTERM, _stop)
    with Panel(args.host, args.port, args.kind) as panel:
        current_second = -1
        counted = 0
        rate = 0
        try:
            while True:
                now = int(time.time())
                if now != current_second:
                    packets = panel.packets
                    if current_second >= 0:
                        rate = packets - counted
                    counted = packets
                    current_second = now
                    panel.status  # raises when the panel's receiving thread failed
                    line = panel.state.line()
                    sys.stdout.write("rate=%d%s\n" % (rate, " " + line if line else ""))
                    sys.stdout.flush()
                time.sleep(0.01)
        except KeyboardInterrupt:
            pass
        except PanelError as e:
            _say(str(e))
            return 1
        except BrokenPipeError:
            # The reader went away (`| head`): nothing more to print.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
    return 0


def run_send(args: Args) -> int:
    if not args.words:
        _say("send needs NAME VALUE pairs (see %s send --list)" % _program_name)
        return 2
    if len(args.words) % 2:
        _say("%s needs a value" % args.words[-1])
        return 2
    pairs: List[Tuple[str, str]] = list(zip(args.words[0::2], args.words[1::2]))
    try:
        summary = send(pairs, args.host, args.port, args.kind)
    except ValueError as e:
        _say(str(e))
        return 2
    except (TimeoutError, OSError) as e:
        _say(str(e))
        return 1
    print("sent %s to %s:%d" % (summary, args.host, args.port))
    return 0


def run_discover(args: Args) -> int:
    try:
        seconds = float(args.words[0]) if args.words else 2.0
    except ValueError:
        _say("discover takes a number of seconds")
        return 2
    found = discover(seconds)
    for address, port in found:
        print("%s:%d" % (address, port))
    return 0 if found else 1


def main(argv: Optional[Sequence[str]] = None) -> int:
    global _program_name
    called = os.path.basename(sys.argv[0])
    _program_name = "python -m zvmp" if called in ("__main__.py", "-m", "") else called
    try:
        args = parse_args(sys.argv[1:] if argv is None else argv)
    except Usage as e:
        _say(str(e))
        return 2
    if args.mode == "help":
        sys.stdout.write(USAGE.replace("python -m zvmp", _program_name))
        return 0
    if args.mode == "list":
        sys.stdout.write(send_list())
        return 0
    if args.mode == "send":
        return run_send(args)
    if args.mode == "discover":
        return run_discover(args)
    if args.mode == "web":
        signal.signal(signal.SIGTERM, _stop)
        program = (args.host, args.port) if args.program_given else None
        return web.serve(program, args.listen or web.DEFAULT_LISTEN, args.allow, args.page,
                         lambda m: _say("web: " + m))
    return run_monitor(args)


if __name__ == "__main__":
    sys.exit(main())
