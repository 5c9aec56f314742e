"""A panel: one UDP socket that subscribes to the program's stream and sends it commands."""

from __future__ import annotations

import select
import socket
import struct
import threading
import time
from types import TracebackType
from typing import Iterator, Optional, Sequence, Tuple, Type, Union

from . import values, wire
from .state import State

__all__ = ["KINDS", "Panel", "build_commands", "send"]

#: Panel kinds and their node type codes: "full" receives everything the program publishes,
#: "position" the position, attitude, speeds and air data only. Both get the speed limits.
KINDS = {"full": wire.FULL_PANEL, "position": wire.POSITION_PANEL}

#: Seconds between two hellos (the program forgets a panel it has not heard for 60 s).
HELLO_INTERVAL = 1.0
#: Group of the speed-limit messages, which come once a second in a packet of their own.
_SPEED_LIMIT_GROUP = 0x14
# Longest wait of the receiving thread in one go, so that close() is prompt.
_POLL = 0.1
# Datagrams read in one go before the thread looks at its clock again.
_BURST = 64

Given = Union[str, int, float, bool]


class Panel:
    """Subscribes to the program at `host`:`port` as a panel of `kind` ("full" or "position").

    The panel binds a UDP port of its own (`local_port`, 0 to let the system pick one), says
    hello, asks for the stream, and from a daemon thread reads what the program sends and says
    hello again every second (asking for the stream again while no data comes), so that a panel
    that nobody reads from stays subscribed. ``close()``, or leaving a ``with`` block, sends a
    stream stop and ends the thread.

    Datagrams that are malformed, or that come from anywhere but the program, are skipped and
    counted in ``dropped`` (hellos are not counted). ``packets`` counts the data packets
    received from the program, speed-limit packets included.
    """

    def __init__(
        self,
        host: str = "127.0.0.1",
        port: int = 59000,
        kind: str = "full",
        *,
        local_port: int = 0,
    ) -> None:
        if kind not in KINDS:
            raise ValueError("kind is 'full' or 'position', not %r" % (kind,))
        self.kind = kind
        self.node_type = wire.node_type_word(KINDS[kind])
        self.program: Tuple[str, int] = (socket.gethostbyname(host), port)
        self.dropped = 0
        self.packets = 0
        self._state = State()
        self._snapshot: Optional[State] = None
        self._sequence = 0
        self._data_since_hello = False
        self._changed = threading.Condition()
        self._closing = threading.Event()
        self._closed = False
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            self._socket.bind(("0.0.0.0", local_port))
            self._socket.setblocking(False)
        except OSError:
            self._socket.close()
            raise
        self._thread = threading.Thread(target=self._run, name="zvmp-panel", daemon=True)
        self._thread.start()

    # ---- what callers use ----

    @property
    def local_port(self) -> int:
        """The UDP port this panel receives on."""
        return int(self._socket.getsockname()[1])

    @property
    def closed(self) -> bool:
        return self._closed

    @property
    def state(self) -> State:
        """The values received so far (a snapshot taken after the last data packet)."""
        with self._changed:
            return self._snapshot.copy() if self._snapshot is not None else State()

    def wait(self, timeout: Optional[float] = None) -> Optional[State]:
        """Waits for the next full or position packet and returns the state after it.

        Returns None when `timeout` seconds pass first, or when the panel is closed.
        """
        with self._changed:
            start = self._sequence
            if not self._changed.wait_for(lambda: self._sequence != start or self._closed, timeout):
                return None
            return None if self._sequence == start else self._snapshot

    def updates(self, timeout: Optional[float] = None) -> Iterator[State]:
        """The state after every full or position packet that comes after this call, until the
        panel is closed.

        A caller slower than the packets gets the newest state each time (never one it has had).
        With `timeout`, the iteration also ends when no packet comes for that many seconds.
        """
        with self._changed:
            seen = self._sequence
        return self._updates_after(seen, timeout)

    def _updates_after(self, seen: int, timeout: Optional[float]) -> Iterator[State]:
        while True:
            with self._changed:
                if not self._changed.wait_for(lambda: self._sequence != seen or self._closed, timeout):
                    return
                if self._sequence == seen:
                    return
                seen = self._sequence
                snapshot = self._snapshot
            assert snapshot is not None
            yield snapshot

    def send(self, **commands: Given) -> None:
        """Sends commands by the monitor's names, in the order given, all in one packet.

        Names take ``_`` for ``-`` (``hdg_hold=1``, ``efis_range=40``); values are in the units a
        pilot uses and are checked as ``zvmp-monitor send`` checks them: ``hdg=270``,
        ``alt=12000`` (feet), ``spd=0.78`` (below 5 is Mach), ``com1=118.1`` (MHz),
        ``adf1=350`` (kHz), ``xpdr=7000``, ``baro=1013`` (hPa, or 29.92 inHg), ``hdg_hold="on"``.
        An unknown name or a value that does not read or is out of range raises ValueError, and
        then nothing is sent.
        """
        self.send_pairs(list(commands.items()))

    def send_pairs(self, commands: Sequence[Tuple[str, Given]]) -> str:
        """send() for (name, value) pairs; returns what was sent as "hdg=270 com1=118.10"."""
        packet, summary = build_commands(self.node_type, commands)
        if self._closed:
            raise ValueError("the panel is closed")
        self._socket.sendto(packet, self.program)
        return summary

    def close(self) -> None:
        """Sends a stream stop, ends the thread and closes the socket. Calling it again does nothing."""
        if self._closed:
            return
        self._closing.set()
        self._thread.join()
        self._send(wire.stream_stop(self.node_type))
        self._socket.close()
        with self._changed:
            self._closed = True
            self._changed.notify_all()

    def __enter__(self) -> "Panel":
        return self

    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None:
        self.close()

    # ---- the thread ----

    def _send(self, datagram: bytes) -> None:
        try:
            self._socket.sendto(datagram, self.program)
        except OSError:
            # The program may not run yet; the next second tries again.
            pass

    def _run(self) -> None:
        next_hello = time.monotonic()
        while not self._closing.is_set():
            now = time.monotonic()
            if now >= next_hello:
                want_stream = not self._data_since_hello
                self._send((wire.stream_request if want_stream else wire.hello)(self.node_type))
                self._data_since_hello = False
                next_hello = max(next_hello + HELLO_INTERVAL, now)
            try:
                readable, _, _ = select.select([self._socket], [], [], min(_POLL, max(0.0, next_hello - now)))
            except (OSError, ValueError):
                return
            if readable:
                self._read_waiting()

    def _read_waiting(self) -> None:
        for _ in range(_BURST):
            try:
                datagram, sender = self._socket.recvfrom(wire.MAX_PACKET + 1)
            except (BlockingIOError, InterruptedError):
                return
            except OSError:
                # An earlier datagram to a port where nothing listened came back as an error.
                continue
            self._take(datagram, sender)

    def _take(self, datagram: bytes, sender: Tuple[str, int]) -> None:
        try:
            packet = wire.parse(datagram)
        except wire.MalformedPacket:
            self.dropped += 1
            return
        application = [(i, p) for i, p in packet.messages if wire.is_application(i)]
        if (sender[0], sender[1]) != self.program:
            if application or not all(i == wire.HELLO for i, _ in packet.messages):
                self.dropped += 1
            return
        if not application:
            return
        wakes = False
        with self._changed:
            for message_id, payload in application:
                self._state.take(message_id, payload)
                wakes = wakes or (message_id >> 8) & 0xFF != _SPEED_LIMIT_GROUP
            self.packets += 1
            self._data_since_hello = True
            self._snapshot = self._state.copy()
            if wakes:
                self._sequence += 1
                self._changed.notify_all()


def build_commands(node_type: int, commands: Sequence[Tuple[str, Given]]) -> Tuple[bytes, str]:
    """One command packet from (name, value) pairs, and what it sets as "hdg=270 com1=118.10".

    Raises ValueError, before anything is sent, for an unknown name, a value that does not read
    or is out of range, or more commands than one packet holds.
    """
    if not commands:
        raise ValueError("send needs NAME VALUE pairs")
    messages = []
    summary = []
    for name, given in commands:
        entry = values.by_name(name)
        if entry is None:
            raise ValueError("unknown name '%s'" % name)
        payload = struct.pack("<I", values.command_word(entry, given))
        messages.append((entry.id, payload))
        summary.append("%s=%s" % (entry.name, values.text(entry, values.read_raw(entry.id, payload))))
    return wire.build(node_type, messages), " ".join(summary)


def send(
    commands: Sequence[Tuple[str, Given]],
    host: str = "127.0.0.1",
    port: int = 59000,
    kind: str = "full",
    timeout: float = 3.0,
) -> str:
    """Sends commands once, without subscribing, as ``zvmp-monitor send`` does.

    Checks the commands, says hello, and once the program has answered with its own hello (it
    answers within a second) sends them all in one packet. Returns what was sent ("hdg=270");
    raises ValueError for bad commands and TimeoutError when no program answers in `timeout`
    seconds.
    """
    if kind not in KINDS:
        raise ValueError("kind is 'full' or 'position', not %r" % (kind,))
    node_type = wire.node_type_word(KINDS[kind])
    packet, summary = build_commands(node_type, commands)
    program = (socket.gethostbyname(host), port)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.bind(("0.0.0.0", 0))
        deadline = time.monotonic() + timeout
        next_hello = time.monotonic()
        while True:
            now = time.monotonic()
            if now >= deadline:
                raise TimeoutError("no program answered at %s:%d within %g s" % (program[0], port, timeout))
            if now >= next_hello:
                try:
                    sock.sendto(wire.hello(node_type), program)
                except OSError:
                    pass
                next_hello = now + HELLO_INTERVAL
            readable, _, _ = select.select([sock], [], [], max(0.0, min(next_hello, deadline) - now))
            if not readable:
                continue
            try:
                datagram, sender = sock.recvfrom(wire.MAX_PACKET + 1)
                wire.parse(datagram)
            except (OSError, wire.MalformedPacket):
                continue
            if (sender[0], sender[1]) == program:
                break
        sock.sendto(packet, program)
    return summary
