"""A panel: one UDP socket that subscribes to the program's stream and sends it commands."""

from __future__ import annotations

import errno
import selectors
import socket
import threading
import time
import warnings
from types import TracebackType
from typing import Iterator, List, Optional, Sequence, Tuple, Type, Union

from . import readback, values, wire
from .address import check_port, program_address
from .catalogue import FIRST_PORT, Entry
from .state import SPEED_LIMIT_GROUP, State

__all__ = [
    "CONFIRM_TIMEOUT",
    "KINDS",
    "PROMPT_STALE",
    "STATUSES",
    "STATUS_TEXTS",
    "NoDataError",
    "NotConfirmedError",
    "Panel",
    "PanelError",
    "build_commands",
    "send",
]

#: Panel kinds and their node type codes: "full" receives everything the program publishes,
#: "position" the position, attitude, speeds and air data only. Both get the speed limits.
KINDS = {"full": wire.FULL_PANEL, "position": wire.POSITION_PANEL}

#: What Panel.status says: nothing heard from the program; the program answers (it says hello)
#: but publishes nothing; data packets arrive.
STATUSES = ("no-answer", "answered", "streaming")
#: Each status in the words a display shows.
STATUS_TEXTS = {
    "no-answer": "no answer from the program",
    "answered": "program waiting for the simulator",
    "streaming": "data from the program",
}

#: Seconds between two hellos (the program forgets a panel it has not heard for 60 s).
HELLO_INTERVAL = 1.0
#: Seconds within which the program must have been heard (it says hello to every panel once a
#: second) or have sent data for the status to say so.
STATUS_WINDOW = 2.5
#: Seconds without a data packet after which prompt_status() stops saying "streaming" (the
#: program sends about 18 a second).
PROMPT_STALE = 0.5
#: Seconds a panel waits by default for a confirmed command to show.
CONFIRM_TIMEOUT = 5.0
# Seconds of datagrams from nowhere but a wrong sender before the panel says so.
_MISMATCH_SECONDS = 1.0
# A hello this long after the last data packet shows a program that runs without publishing: it
# publishes about every 55 ms and says hello between two packets, so a hello that closely
# follows the last packet may come from a program about to stop.
_ALIVE_GAP = 0.25
# Longest wait of the receiving thread in one go, so that close() is prompt.
_POLL = 0.1
# Datagrams read in one go before the thread looks at its clock again.
_BURST = 64
# Send errors that mean the socket itself is gone, not that the program cannot be reached.
_SOCKET_GONE = (errno.EBADF, errno.ENOTSOCK)

Given = Union[str, int, float, bool]


class PanelError(RuntimeError):
    """The panel's receiving thread failed; its cause is the exception that stopped it."""


class NoDataError(TimeoutError):
    """No data packet came in time. ``status`` says what was heard instead (see Panel.status),
    ``program`` is the (address, port) the panel subscribes to."""

    def __init__(self, message: str, status: str, program: Tuple[str, int]) -> None:
        super().__init__(message)
        self.status = status
        self.program = program


class NotConfirmedError(TimeoutError):
    """Commands whose effect did not show in time. ``missing`` holds, for each, the value
    awaited and what the last state showed instead; ``state`` is that state (None if no data
    came)."""

    def __init__(self, message: str, missing: List[Tuple[str, str]], state: Optional[State]) -> None:
        super().__init__(message)
        self.missing = missing
        self.state = state


class Panel:
    """Subscribes to the program at `host`:`port` as a panel of `kind` ("full" or "position").

    The panel binds a UDP port of its own (`local_port`, 0 to let the system pick one), says
    hello, asks for the stream, and from a daemon thread reads what the program sends and says
    hello again every second (asking for the stream again while no data comes), so that a panel
    that nobody reads from stays subscribed. ``close()``, or leaving a ``with`` block, sends a
    stream stop and ends the thread.

    `host` is the program's IPv4 address or name and `port` its UDP port; a value that is not
    one, or an address no program sends from (0.0.0.0, a multicast group), raises ValueError
    before anything is opened.

    ``status`` and ``last_packet_age`` tell whether the program is there and streaming. Datagrams
    that are malformed, or that come from anywhere but the program, are skipped and counted in
    ``dropped`` (hellos are not counted); when for a second every datagram came from one wrong
    sender, the panel says so once (a RuntimeWarning) and ``foreign_sender`` names it. ``packets``
    counts the data packets received from the program, speed-limit packets included. An error
    in the receiving thread is raised, as PanelError, from wait(), updates() and status.
    """

    def __init__(
        self,
        host: str = "127.0.0.1",
        port: int = FIRST_PORT,
        kind: str = "full",
        *,
        local_port: int = 0,
    ) -> None:
        if kind not in KINDS:
            raise ValueError("kind is 'full' or 'position', not %r" % (kind,))
        check_port(local_port, "local_port", lowest=0)
        self.program: Tuple[str, int] = program_address(host, port)
        self.kind = kind
        self.node_type = wire.node_type_word(KINDS[kind])
        self.dropped = 0
        self.packets = 0
        #: The sender every datagram came from for the last second instead of the program, or None.
        self.foreign_sender: Optional[Tuple[str, int]] = None
        self._state = State()
        self._snapshot: Optional[State] = None
        self._sequence = 0
        self._data_since_hello = False
        self._heard_at: Optional[float] = None
        self._data_at: Optional[float] = None
        self._foreign_since: Optional[float] = None
        self._said_foreign = False
        self._send_error: Optional[OSError] = None
        self._error: Optional[BaseException] = None
        self._changed = threading.Condition()
        self._closing = threading.Event()
        self._closed = False
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._selector = selectors.DefaultSelector()
        try:
            self._socket.bind(("0.0.0.0", local_port))
            self._socket.setblocking(False)
            self._selector.register(self._socket, selectors.EVENT_READ)
        except OSError:
            self._selector.close()
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

    @property
    def status(self) -> str:
        """"streaming" while data packets arrive; "answered" while the program is heard (it says
        hello every second) but sends no data, as while its simulator is not connected;
        "no-answer" while nothing comes from it: no program runs at that address and port, or
        the address or port is wrong (on UDP the two look the same). Each holds for STATUS_WINDOW
        seconds after what it was judged by."""
        with self._changed:
            self._raise_if_failed()
            return self._status()

    def prompt_status(self, stale: float = PROMPT_STALE) -> str:
        """The status judged as soon as data stops, for a display: "streaming" while the last
        data packet is at most `stale` seconds old; then "answered" once a hello has come from
        the program well after its last data packet (it says hello every second, also while its
        simulator is away), "no-answer" until then and after STATUS_WINDOW seconds of silence.
        A program that has stopped therefore shows as "no-answer" `stale` seconds after its last
        packet. Raises PanelError as status does."""
        with self._changed:
            self._raise_if_failed()
            now = time.monotonic()
            if self._data_at is not None and now - self._data_at <= stale:
                return "streaming"
            heard = self._heard_at is not None and now - self._heard_at < STATUS_WINDOW
            if heard and (self._data_at is None or self._heard_at - self._data_at >= _ALIVE_GAP):
                return "answered"
            return "no-answer"

    @property
    def last_packet_age(self) -> Optional[float]:
        """Seconds since the last data packet from the program arrived, None before the first."""
        with self._changed:
            return None if self._data_at is None else time.monotonic() - self._data_at

    def wait(self, timeout: Optional[float] = None, *, raise_on_timeout: bool = False) -> Optional[State]:
        """Waits for the next full or position packet and returns the state after it.

        When `timeout` seconds pass first, returns None, or with `raise_on_timeout` raises
        NoDataError, which says, by the panel's status, whether anything answers at all. Returns
        None when the panel is closed (raises ValueError with `raise_on_timeout`).
        """
        with self._changed:
            start = self._sequence
            self._wait_past(start, timeout)
            if self._sequence != start:
                return self._snapshot
            if not raise_on_timeout:
                return None
            if self._closed:
                raise ValueError("the panel is closed")
            raise self._no_data(timeout)

    def updates(self, timeout: Optional[float] = None, *, raise_on_timeout: bool = False) -> Iterator[State]:
        """The state after every full or position packet that comes after this call, until the
        panel is closed.

        A caller slower than the packets gets the newest state each time (never one it has had).
        With `timeout`, the iteration also ends when no packet comes for that many seconds, or
        with `raise_on_timeout` raises NoDataError as wait() does.
        """
        with self._changed:
            seen = self._sequence
        return self._updates_after(seen, timeout, raise_on_timeout)

    def _updates_after(self, seen: int, timeout: Optional[float], raise_on_timeout: bool) -> Iterator[State]:
        while True:
            with self._changed:
                self._wait_past(seen, timeout)
                if self._sequence == seen:
                    if raise_on_timeout and not self._closed:
                        raise self._no_data(timeout)
                    return
                seen = self._sequence
                snapshot = self._snapshot
            assert snapshot is not None
            yield snapshot

    def send(self, *, confirm: Union[bool, float] = False, **commands: Given) -> Optional[State]:
        """Sends commands by the monitor's names, in the order given, all in one packet.

        Names take ``_`` for ``-`` (``hdg_hold=1``, ``efis_range=40``); values are in the units a
        pilot uses and are checked as ``zvmp-monitor send`` checks them: ``hdg=270``,
        ``alt=12000`` (feet), ``spd=0.78`` (below 5 is Mach), ``com1=118.1`` (MHz),
        ``adf1=350`` (kHz), ``xpdr=7000``, ``baro=1013`` (hPa, or 29.92 inHg), ``hdg_hold="on"``
        (or True; "ON" and "Off" too). An unknown name or a value that does not read or is out
        of range raises ValueError, and then nothing is sent.

        With `confirm` (True for CONFIRM_TIMEOUT seconds, or a number of seconds), waits until
        the data packets show the effect of every command, as the program rounds it (alt=12345
        shows as 12300; see zvmp.readback), and returns that state; raises NotConfirmedError
        naming what did not show in time, and ValueError, before sending, for a command that
        never shows to this panel (a control input, vnav-hold). Without it returns None.
        """
        return self._send(list(commands.items()), confirm)[1]

    def send_pairs(self, commands: Sequence[Tuple[str, Given]], *, confirm: Union[bool, float] = False) -> str:
        """send() for (name, value) pairs; returns what was sent as "hdg=270 com1=118.10"."""
        return self._send(commands, confirm)[0]

    def confirm(self, commands: Sequence[Tuple[str, Given]], timeout: float = CONFIRM_TIMEOUT) -> State:
        """Waits until the state shows the effect of `commands` (name, value) as send(...,
        confirm=True) does, without sending them; the current state counts."""
        words = command_words(commands)
        expected = readback.expect_all(self.kind, tuple(words))
        with self._changed:
            current = self._snapshot
            seen = self._sequence
        if current is not None and all(e.shown_by(current) for e in expected):
            return current
        return self._await(expected, seen, timeout)

    def close(self) -> None:
        """Sends a stream stop, ends the thread and closes the socket. Calling it again does nothing."""
        if self._closed:
            return
        self._closing.set()
        self._thread.join()
        try:
            self._send_datagram(wire.stream_stop(self.node_type))
        except OSError:
            pass
        self._selector.close()
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

    # ---- status, errors, confirmation ----

    def _status(self) -> str:
        now = time.monotonic()
        if self._data_at is not None and now - self._data_at < STATUS_WINDOW:
            return "streaming"
        if self._heard_at is not None and now - self._heard_at < STATUS_WINDOW:
            return "answered"
        return "no-answer"

    def _wait_past(self, seen: int, timeout: Optional[float]) -> None:
        """With the lock held: waits until a data packet after number `seen` arrives, the panel
        closes or `timeout` passes; raises PanelError when the receiving thread has failed."""
        self._changed.wait_for(lambda: self._sequence != seen or self._closed or self._error is not None, timeout)
        self._raise_if_failed()

    def _raise_if_failed(self) -> None:
        if self._error is not None:
            raise PanelError("the panel's receiving thread stopped: %r" % (self._error,)) from self._error

    def _no_data(self, timeout: Optional[float]) -> NoDataError:
        status = self._status()
        where = "%s:%d" % self.program
        if status == "streaming":
            why = "data came %.1f s ago, but no new packet since" % (time.monotonic() - (self._data_at or 0.0))
        elif status == "answered":
            why = "the program answers but publishes nothing (its simulator is not connected)"
        else:
            why = (
                "nothing answers there (no program runs at that address and port, or the address or port is "
                "wrong: on UDP the two look the same)"
            )
            if self.foreign_sender is not None:
                why += "; datagrams come from %s:%d instead" % self.foreign_sender
            if self._send_error is not None:
                why += "; sending fails: %s" % (self._send_error.strerror or self._send_error)
        return NoDataError("no data from %s within %g s: %s" % (where, timeout or 0.0, why), status, self.program)

    def _send(self, commands: Sequence[Tuple[str, Given]], confirm: Union[bool, float]) -> Tuple[str, Optional[State]]:
        words = command_words(commands)
        packet, summary = _packet(self.node_type, words)
        timeout = CONFIRM_TIMEOUT if confirm is True else float(confirm)
        expected = readback.expect_all(self.kind, tuple(words)) if confirm else ()
        with self._changed:
            if self._closed:
                raise ValueError("the panel is closed")
            self._raise_if_failed()
            seen = self._sequence
        self._socket.sendto(packet, self.program)
        if not confirm:
            return summary, None
        return summary, self._await(expected, seen, timeout)

    def _await(self, expected: Sequence[readback.Expectation], seen: int, timeout: float) -> State:
        """The first state after packet `seen` that shows everything `expected`."""
        deadline = time.monotonic() + timeout
        state: Optional[State] = None
        while True:
            left = deadline - time.monotonic()
            with self._changed:
                self._wait_past(seen, max(0.0, left))
                if self._closed:
                    raise ValueError("the panel is closed")
                if self._sequence != seen:
                    seen = self._sequence
                    state = self._snapshot
                    left = deadline - time.monotonic()
            if state is not None and all(e.shown_by(state) for e in expected):
                return state
            if left <= 0:
                break
        if state is None:
            with self._changed:
                reason = str(self._no_data(timeout))
            missing = [(e.text, "nothing") for e in expected]
        else:
            missing = [(e.text, e.reading(state)) for e in expected if not e.shown_by(state)]
            reason = ", ".join("%s (reads %s)" % m for m in missing)
        raise NotConfirmedError("not confirmed within %g s: %s" % (timeout, reason), missing, state)

    # ---- the thread ----

    def _send_datagram(self, datagram: bytes) -> None:
        try:
            self._socket.sendto(datagram, self.program)
            self._send_error = None
        except OSError as e:
            if e.errno in _SOCKET_GONE:
                raise
            # The program may not run yet, or its network not be reachable; the next second
            # tries again, and a time-out says why.
            self._send_error = e

    def _run(self) -> None:
        try:
            self._serve()
        except BaseException as e:  # noqa: B902 - every failure must reach the callers
            with self._changed:
                self._error = e
                self._changed.notify_all()

    def _serve(self) -> None:
        next_hello = time.monotonic()
        while not self._closing.is_set():
            now = time.monotonic()
            if now >= next_hello:
                want_stream = not self._data_since_hello
                self._send_datagram((wire.stream_request if want_stream else wire.hello)(self.node_type))
                self._data_since_hello = False
                next_hello = max(next_hello + HELLO_INTERVAL, now)
            if self._selector.select(min(_POLL, max(0.0, next_hello - now))):
                self._read_waiting()

    def _read_waiting(self) -> None:
        for _ in range(_BURST):
            try:
                datagram, sender = self._socket.recvfrom(wire.MAX_PACKET + 1)
            except (BlockingIOError, InterruptedError):
                return
            except OSError as e:
                if e.errno in _SOCKET_GONE:
                    raise
                # An earlier datagram to a port where nothing listened came back as an error.
                continue
            self._take(datagram, (str(sender[0]), int(sender[1])))

    def _take(self, datagram: bytes, sender: Tuple[str, int]) -> None:
        try:
            packet = wire.parse(datagram)
        except wire.MalformedPacket:
            self.dropped += 1
            return
        now = time.monotonic()
        application = [(i, p) for i, p in packet.messages if wire.is_application(i)]
        if sender != self.program:
            if application or not all(i == wire.HELLO for i, _ in packet.messages):
                self.dropped += 1
            self._foreign(sender, now)
            return
        with self._changed:
            self._foreign_since = None
            self.foreign_sender = None
            self._heard_at = now
            if not application:
                return
            self._state.take_packet(application, now)
            self.packets += 1
            self._data_at = now
            self._data_since_hello = True
            self._snapshot = self._state.copy()
            if any((i >> 8) & 0xFF != SPEED_LIMIT_GROUP for i, _ in application):
                self._sequence += 1
                self._changed.notify_all()

    def _foreign(self, sender: Tuple[str, int], now: float) -> None:
        """A whole packet from a sender other than the program: after a second of nothing else,
        says once that the panel may have been given the wrong address."""
        if self._foreign_since is None:
            self._foreign_since = now
        if now - self._foreign_since < _MISMATCH_SECONDS:
            return
        self.foreign_sender = sender
        if not self._said_foreign:
            self._said_foreign = True
            warnings.warn(
                "zvmp panel for %s:%d has dropped every datagram for %g s: they come from %s:%d "
                "(give the panel the address the program answers from)"
                % (self.program + (_MISMATCH_SECONDS,) + sender),
                RuntimeWarning,
            )


def command_words(commands: Sequence[Tuple[str, Given]]) -> List[Tuple[Entry, int]]:
    """(entry, payload word) of every (name, value) command, checked as the monitor checks them.

    Raises ValueError, before anything is sent, for no commands, an unknown name, or a value
    that does not read or is out of range.
    """
    if not commands:
        raise ValueError("send needs NAME VALUE pairs")
    words = []
    for name, given in commands:
        entry = values.by_name(name)
        if entry is None:
            raise ValueError("unknown name '%s'" % name)
        words.append((entry, values.command_word(entry, given)))
    return words


def _packet(node_type: int, words: Sequence[Tuple[Entry, int]]) -> Tuple[bytes, str]:
    messages = []
    summary = []
    for entry, word in words:
        payload = wire.WORD.pack(word)
        messages.append((entry.id, payload))
        summary.append("%s=%s" % (entry.name, values.text(entry, values.read_raw(entry.id, payload))))
    return wire.build(node_type, messages), " ".join(summary)


def build_commands(node_type: int, commands: Sequence[Tuple[str, Given]]) -> Tuple[bytes, str]:
    """One command packet from (name, value) pairs, and what it sets as "hdg=270 com1=118.10".

    Raises ValueError, before anything is sent, for an unknown name, a value that does not read
    or is out of range, or more commands than one packet holds.
    """
    return _packet(node_type, command_words(commands))


def send(
    commands: Sequence[Tuple[str, Given]],
    host: str = "127.0.0.1",
    port: int = FIRST_PORT,
    kind: str = "full",
    timeout: float = 3.0,
) -> str:
    """Sends commands once, without subscribing, as ``zvmp-monitor send`` does.

    Checks the commands, says hello, and once the program has answered with its own hello (it
    answers within a second) sends them all in one packet. Returns what was sent ("hdg=270");
    raises ValueError for bad commands, host or port, and TimeoutError when no program answers
    in `timeout` seconds.
    """
    if kind not in KINDS:
        raise ValueError("kind is 'full' or 'position', not %r" % (kind,))
    node_type = wire.node_type_word(KINDS[kind])
    packet, summary = build_commands(node_type, commands)
    program = program_address(host, port)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock, selectors.DefaultSelector() as selector:
        sock.bind(("0.0.0.0", 0))
        selector.register(sock, selectors.EVENT_READ)
        deadline = time.monotonic() + timeout
        next_hello = time.monotonic()
        while True:
            now = time.monotonic()
            if now >= deadline:
                raise TimeoutError("no program answered at %s:%d within %g s" % (program + (timeout,)))
            if now >= next_hello:
                try:
                    sock.sendto(wire.hello(node_type), program)
                except OSError:
                    pass
                next_hello = now + HELLO_INTERVAL
            if not selector.select(max(0.0, min(next_hello, deadline) - now)):
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
