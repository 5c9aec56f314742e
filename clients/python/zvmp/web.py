"""python -m zvmp web: a cockpit panel in the browser, for tablets and spare screens.

A web server (the standard library's http.server, a thread per connection) that joins the
program as a full-data panel through zvmp.Panel and serves

    GET  /          the panel page (zvmp/page: index.html, panel.css, panel.js, icon.svg)
    GET  /state     the whole state as JSON
    GET  /events    Server-Sent Events: the whole state first, then one event per data packet
                    holding the values that changed; "status" events when the data stops or
                    comes back
    POST /send      a JSON object of names and values, carried out as Panel.send_pairs does

docs/web.md describes the interface. Whoever reaches the port can fly the aircraft, as with ZVMP
itself; `allow` narrows who may connect as the program's -a does.
"""

from __future__ import annotations

import errno
import io
import json
import math
import os
import socket
import sys
import threading
import time
from collections import deque
from http import HTTPStatus
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer
from importlib import resources
from typing import BinaryIO, Callable, Deque, Dict, List, Optional, Sequence, Tuple

from .catalogue import FIRST_PORT
from .discovery import discover
from .panel import STATUS_TEXTS, Panel, PanelError
from .state import State

__all__ = [
    "DEFAULT_LISTEN",
    "MAX_BODY",
    "MAX_CONNECTIONS",
    "MAX_STREAMS",
    "Network",
    "WebPanel",
    "parse_listen",
    "parse_network",
]

DEFAULT_LISTEN = ("0.0.0.0", 8080)
#: Largest body POST /send takes, in bytes.
MAX_BODY = 4096
#: Event streams served at once; more are answered 503.
MAX_STREAMS = 16
#: Connections served at once; more are closed unanswered.
MAX_CONNECTIONS = 64
#: Seconds after which a connection that neither sends its request nor takes what it is sent
#: is dropped.
SOCKET_TIMEOUT = 10.0
# Seconds between keep-alive comments on an event stream that has nothing to say, so that a
# browser that went away frees its stream.
_HEARTBEAT = 5.0
# How often the panel's status is looked at, in seconds.
_STATUS_POLL = 0.05
# Data events kept for streams that fall behind; one further behind gets the whole state again.
_RING = 64

# The page's files, and their types.
_PAGE = {
    "/": ("index.html", "text/html; charset=utf-8"),
    "/index.html": ("index.html", "text/html; charset=utf-8"),
    "/panel.css": ("panel.css", "text/css; charset=utf-8"),
    "/panel.js": ("panel.js", "text/javascript; charset=utf-8"),
    "/icon.svg": ("icon.svg", "image/svg+xml"),
}
_SECURITY_HEADERS = (
    ("X-Content-Type-Options", "nosniff"),
    ("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"),
    ("Referrer-Policy", "no-referrer"),
    ("Cache-Control", "no-cache"),
)


# ---- the command line's addresses ----


def _part(text: str, highest: int) -> int:
    """A decimal number from 0 to `highest`, as the program reads address parts: one to three
    digits and no leading zero (which some readers of addresses take for octal)."""
    if not text.isdigit() or not text.isascii() or len(text) > 3 or (len(text) > 1 and text[0] == "0"):
        raise ValueError
    number = int(text)
    if number > highest:
        raise ValueError
    return number


def _address(text: str) -> int:
    parts = text.split(".")
    if len(parts) != 4:
        raise ValueError
    value = 0
    for part in parts:
        value = value << 8 | _part(part, 255)
    return value


class Network:
    """An IPv4 network as the program's -a takes it: NETWORK[/BITS]."""

    def __init__(self, address: int, bits: int) -> None:
        self.mask = (0xFFFFFFFF << (32 - bits)) & 0xFFFFFFFF if bits else 0
        self.address = address & self.mask

    def holds(self, address: str) -> bool:
        try:
            return _address(address) & self.mask == self.address
        except ValueError:
            return False


def parse_network(text: str) -> Network:
    """The network of `text`, "192.168.1.0/24" or "10.0.0.7" (a single address), read as the
    program reads -a; ValueError with the reason otherwise."""
    address, slash, bits = text.partition("/")
    try:
        return Network(_address(address), _part(bits, 32) if slash else 32)
    except ValueError:
        raise ValueError(
            "--allow takes NETWORK[/BITS] such as 192.168.1.0/24 or 10.0.0.7, not '%s' (four numbers "
            "0 to 255 without leading zeros, and 0 to 32 bits)" % text
        ) from None


def parse_listen(text: str) -> Tuple[str, int]:
    """(address, port) of "ADDRESS:PORT", such as 0.0.0.0:8080; ValueError otherwise."""
    address, colon, port = text.rpartition(":")
    try:
        _address(address)
        if not colon or not port.isdigit() or not port.isascii() or not 0 < int(port) <= 0xFFFF:
            raise ValueError
    except ValueError:
        raise ValueError(
            "--listen takes ADDRESS:PORT such as 0.0.0.0:8080 (every address of this computer) or "
            "127.0.0.1:8080, not '%s'" % text
        ) from None
    return address, int(port)


# ---- what the streams share ----


def _json_value(value: object) -> object:
    # JSON has no NaN or infinity.
    if isinstance(value, float) and not math.isfinite(value):
        return None
    return value


def _dumps(document: object) -> bytes:
    return json.dumps(document, separators=(",", ":"), allow_nan=False).encode()


class Hub:
    """The latest values and status, and the data events made from them, for every stream.

    The panel's reader feeds it one state per data packet (publish); each makes one event that
    holds the values that changed since the last and the names that left the state, stamped
    with the time the packet arrived (milliseconds since the epoch). Streams wait on it for
    what is new (news)."""

    def __init__(self) -> None:
        #: The program's "address:port".
        self.program = ""
        self._changed = threading.Condition()
        self._values: Dict[str, object] = {}
        self._received: Optional[float] = None
        self._sequence = 0
        self._events: Deque[Tuple[int, bytes]] = deque(maxlen=_RING)
        self._status = "no-answer"
        self._status_number = 0
        self._closed = False
        self.error: Optional[BaseException] = None

    def publish(self, state: State) -> None:
        values = {name: _json_value(value) for name, value in state.items()}
        arrived = max((state.received_at(name) for name in state), default=time.monotonic())
        received = round((time.time() - (time.monotonic() - arrived)) * 1000.0, 1)
        with self._changed:
            changed = {k: v for k, v in values.items() if k not in self._values or self._values[k] != v}
            removed = [k for k in self._values if k not in values]
            self._values = values
            self._received = received
            self._sequence += 1
            event = {"seq": self._sequence, "received": received, "values": changed, "removed": removed}
            self._events.append((self._sequence, _dumps(event)))
            self._changed.notify_all()

    def set_status(self, status: str) -> None:
        with self._changed:
            if status != self._status:
                self._status = status
                self._status_number += 1
                self._changed.notify_all()

    def fail(self, error: BaseException) -> None:
        with self._changed:
            self.error = error
            self._closed = True
            self._changed.notify_all()

    def close(self) -> None:
        with self._changed:
            self._closed = True
            self._changed.notify_all()

    def _status_document(self) -> Dict[str, object]:
        return {"status": self._status, "text": STATUS_TEXTS[self._status], "program": self.program}

    def whole(self) -> Tuple[int, int, Dict[str, object]]:
        """(data event number, status number, the whole state with its status)."""
        with self._changed:
            document = self._status_document()
            document.update(seq=self._sequence, received=self._received, values=dict(self._values))
            return self._sequence, self._status_number, document

    def news(self, sequence: int, status_number: int, timeout: float) -> Optional[Tuple[int, int, bytes]]:
        """Waits up to `timeout` for anything after data event `sequence` and status
        `status_number`; returns the new numbers and the stream's text for it (b"" when nothing
        came), or None once the hub is closed."""
        with self._changed:
            self._changed.wait_for(
                lambda: self._closed or self._sequence != sequence or self._status_number != status_number, timeout
            )
            if self._closed:
                return None
            out = b""
            if self._sequence != sequence:
                missed = [event for event in self._events if event[0] > sequence]
                if len(missed) == self._sequence - sequence:
                    out = b"".join(b"id: %d\ndata: %s\n\n" % event for event in missed)
                else:
                    whole = self._status_document()
                    whole.update(seq=self._sequence, received=self._received, values=self._values, full=True)
                    out = b"id: %d\ndata: %s\n\n" % (self._sequence, _dumps(whole))
            if self._status_number != status_number:
                out += b"event: status\ndata: %s\n\n" % _dumps(self._status_document())
            return self._sequence, self._status_number, out


# ---- HTTP ----


class _Refused(Exception):
    """A request answered with an error: its status and reason."""

    def __init__(self, status: HTTPStatus, reason: str) -> None:
        super().__init__(reason)
        self.status = status


class Handler(SimpleHTTPRequestHandler):
    """/events, /state and /send; any other GET or HEAD is a file of the page: the package's own,
    or with a page folder (--page) a file under it, found as http.server's file handler finds
    it (no directory listings)."""

    server: "Server"
    timeout = SOCKET_TIMEOUT
    server_version = "zvmp-web"

    def __init__(self, request: socket.socket, client_address: Tuple[str, int], server: "Server") -> None:
        # Only read with a page folder (send_head).
        super().__init__(request, client_address, server, directory=server.page_folder or os.devnull)

    def do_GET(self) -> None:
        path = self.path.split("?", 1)[0]
        if path == "/events":
            self._events()
        elif path == "/state":
            self._reply(HTTPStatus.OK, _dumps(self.server.web.hub.whole()[2]), "application/json")
        else:
            super().do_GET()

    def send_head(self) -> Optional[BinaryIO]:  # type: ignore[override]
        if self.server.page_folder is not None:
            return super().send_head()  # type: ignore[return-value]
        path = self.path.split("?", 1)[0]
        if path not in _PAGE:
            self.send_error(HTTPStatus.NOT_FOUND, "no such page: %s" % path)
            return None
        name, content_type = _PAGE[path]
        self.send_response(HTTPStatus.OK)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(self.server.page[name])))
        self.end_headers()
        return io.BytesIO(self.server.page[name])

    def list_directory(self, path: object) -> None:  # type: ignore[override]
        self.send_error(HTTPStatus.NOT_FOUND, "no such page: %s" % self.path.split("?", 1)[0])
        return None

    def do_POST(self) -> None:
        if self.path.split("?", 1)[0] != "/send":
            self.send_error(HTTPStatus.NOT_FOUND, "POST goes to /send")
            return
        try:
            commands = self._commands()
            panel = self.server.web.panel
            if panel is None:
                raise _Refused(HTTPStatus.SERVICE_UNAVAILABLE, "the panel has not joined the program yet")
            try:
                sent = panel.send_pairs(commands)
            except ValueError as e:
                raise _Refused(HTTPStatus.BAD_REQUEST, str(e)) from None
            except (OSError, PanelError) as e:
                raise _Refused(HTTPStatus.SERVICE_UNAVAILABLE, "the command could not be sent: %s" % e) from None
        except _Refused as refused:
            self.send_error(refused.status, str(refused))
            return
        self._reply(HTTPStatus.OK, _dumps({"sent": sent}), "application/json")

    def _commands(self) -> List[Tuple[str, object]]:
        """The (name, value) pairs of a POST /send body, or _Refused."""
        content_type = self.headers.get("Content-Type", "")
        if content_type.split(";", 1)[0].strip().lower() != "application/json":
            raise _Refused(HTTPStatus.UNSUPPORTED_MEDIA_TYPE, "POST /send takes Content-Type: application/json")
        length = self.headers.get("Content-Length")
        if length is None:
            raise _Refused(HTTPStatus.LENGTH_REQUIRED, "POST /send needs a Content-Length")
        if not length.isdigit() or not length.isascii():
            raise _Refused(HTTPStatus.BAD_REQUEST, "Content-Length is not a number: '%s'" % length)
        if int(length) > MAX_BODY:
            raise _Refused(HTTPStatus.REQUEST_ENTITY_TOO_LARGE, "the body is longer than %d bytes" % MAX_BODY)
        body = self.rfile.read(int(length))
        try:
            document = json.loads(body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as e:
            raise _Refused(HTTPStatus.BAD_REQUEST, "the body is not JSON: %s" % e) from None
        if not isinstance(document, dict):
            raise _Refused(HTTPStatus.BAD_REQUEST,
                           'the body is a JSON object of names and values, such as {"hdg": 270}')
        return list(document.items())

    def _events(self) -> None:
        if not self.server.take_stream():
            self.send_error(HTTPStatus.SERVICE_UNAVAILABLE,
                        "already %d event streams, the most served at once" % MAX_STREAMS)
            return
        try:
            self.send_response(HTTPStatus.OK)
            self.send_header("Content-Type", "text/event-stream")
            self.send_header("X-Accel-Buffering", "no")
            self.end_headers()
            sequence, status_number, whole = self.server.web.hub.whole()
            whole["full"] = True
            self.wfile.write(b"retry: 1000\n\nid: %d\ndata: %s\n\n" % (sequence, _dumps(whole)))
            while True:
                news = self.server.web.hub.news(sequence, status_number, _HEARTBEAT)
                if news is None:
                    return
                sequence, status_number, out = news
                self.wfile.write(out or b": keep-alive\n\n")
        except OSError:
            pass  # the browser went away, or took nothing for SOCKET_TIMEOUT seconds
        finally:
            self.server.give_back_stream()
            self.close_connection = True

    def end_headers(self) -> None:
        for name, value in _SECURITY_HEADERS:
            self.send_header(name, value)
        super().end_headers()

    def _reply(self, status: HTTPStatus, body: bytes, content_type: str) -> None:
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_error(self, code: int, message: Optional[str] = None, explain: Optional[str] = None) -> None:
        """Every error, also http.server's own (a malformed request, a method it does not serve),
        as JSON: {"error": "why"}."""
        self.close_connection = True
        body = _dumps({"error": message or HTTPStatus(code).phrase})
        self.send_response(code)
        self.send_header("Connection", "close")
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def log_message(self, format: str, *args: object) -> None:
        """Requests are not logged: a panel makes many."""


class Server(ThreadingHTTPServer):
    """The HTTP server: a thread per connection, at most MAX_CONNECTIONS of them and
    MAX_STREAMS event streams; connections from outside `allow` (when given) are closed at once,
    unanswered."""

    daemon_threads = True
    # On Windows the address could be taken over from a server that listens on it.
    allow_reuse_address = os.name != "nt"

    def __init__(self, listen: Tuple[str, int], allow: Sequence[Network], web: "WebPanel",
                 page_folder: Optional[str]) -> None:
        self.allow = list(allow)
        self.web = web
        self.page_folder = page_folder
        files = resources.files(__package__).joinpath("page")
        self.page = {name: files.joinpath(name).read_bytes() for name, _ in _PAGE.values()}
        self._lock = threading.Lock()
        self._streams = 0
        self._connections = 0
        self._refusals_said: Dict[str, float] = {}
        super().__init__(listen, Handler)

    def verify_request(self, request: object, client_address: Tuple[str, int]) -> bool:
        address = client_address[0]
        if not self.allow or any(n.holds(address) for n in self.allow):
            return True
        now = time.monotonic()
        with self._lock:
            if len(self._refusals_said) >= 256:
                self._refusals_said.clear()
            said = self._refusals_said.get(address)
            if said is None or now - said >= 60.0:
                self._refusals_said[address] = now
                print("refused a connection from %s: outside --allow" % address, file=sys.stderr, flush=True)
        return False

    def process_request(self, request: socket.socket,  # type: ignore[override]
                        client_address: Tuple[str, int]) -> None:
        with self._lock:
            if self._connections >= MAX_CONNECTIONS:
                self.shutdown_request(request)
                return
            self._connections += 1
        try:
            super().process_request(request, client_address)
        except BaseException:
            self._connection_ended()
            raise

    def process_request_thread(self, request: socket.socket,  # type: ignore[override]
                               client_address: Tuple[str, int]) -> None:
        try:
            super().process_request_thread(request, client_address)  # type: ignore[misc]
        finally:
            self._connection_ended()

    def _connection_ended(self) -> None:
        with self._lock:
            self._connections -= 1

    def take_stream(self) -> bool:
        with self._lock:
            if self._streams >= MAX_STREAMS:
                return False
            self._streams += 1
            return True

    def give_back_stream(self) -> None:
        with self._lock:
            self._streams -= 1


class WebPanel:
    """The web panel, listening on `listen`: binding happens here (OSError when the address or
    port cannot be had). start() joins the program; serve_forever() serves until close() or
    shutdown(). With `page_folder` the files under it are served in place of the package's page.
    """

    def __init__(self, listen: Tuple[str, int] = DEFAULT_LISTEN, allow: Sequence[Network] = (),
                 page_folder: Optional[str] = None) -> None:
        self.hub = Hub()
        self.panel: Optional[Panel] = None
        self.server = Server(listen, allow, self, page_folder)
        self._threads: List[threading.Thread] = []

    @property
    def address(self) -> Tuple[str, int]:
        """The address and port the server listens on."""
        host, port = self.server.server_address[:2]
        return str(host), int(port)

    def start(self, program: Tuple[str, int]) -> None:
        """Joins the program at (address, port) as a full-data panel; ValueError for an address
        or port no program can have."""
        self.panel = Panel(program[0], program[1], "full")
        self.hub.program = "%s:%d" % self.panel.program
        self._threads = [
            threading.Thread(target=self._pump, args=(self.panel,), name="zvmp-web-pump", daemon=True),
            threading.Thread(target=self._watch, args=(self.panel,), name="zvmp-web-status", daemon=True),
        ]
        for thread in self._threads:
            thread.start()

    def serve_forever(self) -> None:
        self.server.serve_forever(poll_interval=0.2)

    def close(self) -> None:
        self.hub.close()
        self.server.server_close()
        if self.panel is not None:
            self.panel.close()
        for thread in self._threads:
            thread.join()

    def _pump(self, panel: Panel) -> None:
        try:
            updates = panel.updates()
            # What came before the updates began (the program may have answered at once).
            if len(panel.state):
                self.hub.publish(panel.state)
            for state in updates:
                self.hub.publish(state)
        except BaseException as e:  # noqa: B902 - the server must end on it, not go on silent
            self._failed(panel, e)

    def _watch(self, panel: Panel) -> None:
        try:
            while not panel.closed:
                self.hub.set_status(panel.prompt_status())
                time.sleep(_STATUS_POLL)
        except BaseException as e:  # noqa: B902
            self._failed(panel, e)

    def _failed(self, panel: Panel, error: BaseException) -> None:
        if panel.closed:
            return
        self.hub.fail(error)
        threading.Thread(target=self.server.shutdown, daemon=True).start()


def serve(program: Optional[Tuple[str, int]], listen: Tuple[str, int], allow: Sequence[Network],
          page_folder: Optional[str], complain: Callable[[str], None]) -> int:
    """python -m zvmp web: serves until interrupted, and returns the exit status. Without
    `program`, joins the first program heard saying hello within 2 s, else 127.0.0.1:59000.
    Says what it does on standard output; what ends it goes to `complain`."""
    try:
        web = WebPanel(listen, allow, page_folder)
    except OSError as e:
        why = "the port is in use" if e.errno == errno.EADDRINUSE else (e.strerror or str(e))
        complain("cannot listen on %s:%d: %s" % (listen + (why,)))
        return 2
    try:
        how = ""
        if program is None:
            found = discover(2.0)
            program = found[0] if found else ("127.0.0.1", FIRST_PORT)
            how = " (heard its hello)" if found else " (no program heard saying hello; --host names one)"
        web.start(program)
        shown = "every address of this computer" if listen[0] == "0.0.0.0" else "this address only"
        print("the program at %s:%d%s" % (program + (how,)), flush=True)
        print("serving the panel on http://%s:%d/ (%s); Ctrl-C ends it" % (listen[0], web.address[1], shown),
              flush=True)
        web.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        web.close()
    if web.hub.error is not None:
        complain("the panel stopped: %s" % web.hub.error)
        return 1
    return 0
