"""What the client's tests share: the isolation check, the programs under test (found through
ZVMP_PROGRAM and ZVMP_MONITOR, else in build/), and a stand-in program that answers hellos,
keeps a list of streaming panels and sends them packets it is given."""

from __future__ import annotations

import os
import select
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
from typing import Dict, List, Optional, Sequence, Tuple

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "clients", "python"))

from zvmp import wire  # noqa: E402

PROGRAM = os.environ.get("ZVMP_PROGRAM", os.path.join(ROOT, "build", "pyxplugin"))
MONITOR = os.environ.get("ZVMP_MONITOR", os.path.join(ROOT, "build", "zvmp-monitor"))
PROGRAM_PORT = 59000
PROGRAM_NODE_TYPE = 0x13060000
RADIO_BLOCK = 0x2A0C1D31

Address = Tuple[str, int]


def require_isolation() -> None:
    """Refuses to run anywhere but in a network namespace that holds only loopback."""
    names = sorted(name for _, name in socket.if_nameindex())
    if names != ["lo"]:
        raise RuntimeError(
            "refusing to run: this network namespace has interfaces other than loopback (%s); "
            "run the tests through scripts/netns or scripts/test" % ", ".join(names)
        )


def python_module(*args: str) -> List[str]:
    """The command line of `python -m zvmp ARGS`."""
    return [sys.executable, "-m", "zvmp", *args]


def child_environment() -> Dict[str, str]:
    env = dict(os.environ)
    env["PYTHONPATH"] = os.path.join(ROOT, "clients", "python")
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    return env


class Program:
    """build/pyxplugin on the built-in simulator with `args`, ended with SIGTERM; `offline`
    seconds it plays a simulator not started yet."""

    def __init__(self, args: Sequence[str] = (), offline: float = 0.0) -> None:
        env = child_environment()
        if offline:
            env["ZVSIM_OFFLINE_S"] = str(offline)
        self.process = subprocess.Popen([PROGRAM, *args], stdout=subprocess.DEVNULL, env=env)

    def stop(self) -> int:
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


class Witness:
    """A bare panel socket: asks for the stream once and records when data packets arrive."""

    def __init__(self, node_type: int = 0x81060000, port: int = PROGRAM_PORT, local_port: int = 0) -> None:
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", local_port))
        self.node_type = node_type
        self.program = ("127.0.0.1", port)

    def request(self) -> None:
        self.sock.sendto(wire.stream_request(self.node_type), self.program)

    def receive(self, seconds: float) -> List[Tuple[float, bytes]]:
        """(arrival time, datagram) of every data packet from the program within `seconds`."""
        got: List[Tuple[float, bytes]] = []
        end = time.monotonic() + seconds
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return got
            if select.select([self.sock], [], [], left)[0]:
                try:
                    datagram, sender = self.sock.recvfrom(2048)
                except OSError:
                    continue
                if sender == self.program and any(wire.is_application(i) for i, _ in wire.parse(datagram).messages):
                    got.append((time.monotonic(), datagram))

    def close(self) -> None:
        self.sock.close()


def capture(kinds: Sequence[str], seconds: float = 10.0) -> Dict[str, bytes]:
    """Datagrams of the running program, one of each kind asked for: "full" (holds the radio
    block), "limits" (the speed-limit packet)."""
    witness = Witness()
    found: Dict[str, bytes] = {}
    end = time.monotonic() + seconds
    try:
        while time.monotonic() < end and len(found) < len(kinds):
            witness.request()
            for _, datagram in witness.receive(0.5):
                ids = [i for i, _ in wire.parse(datagram).messages]
                kind = "full" if RADIO_BLOCK in ids else "limits" if all(i >> 8 & 0xFF == 0x14 for i in ids) else ""
                if kind in kinds and kind not in found:
                    found[kind] = datagram
        witness.sock.sendto(wire.stream_stop(witness.node_type), witness.program)
    finally:
        witness.close()
    return found


class StandIn:
    """A stand-in for the program on `address` (0.0.0.0: any, answering from 127.0.0.1):
    answers every hello with its own, streams `packets` in turn every 50 ms to the panels that
    asked, and records what it receives."""

    def __init__(self, packets: Sequence[bytes] = (), address: str = "127.0.0.1") -> None:
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 0))
        self.port = int(self.sock.getsockname()[1])
        self.packets = list(packets)
        self.received: List[Tuple[Address, bytes]] = []
        self.streaming: List[Address] = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def send_to(self, datagram: bytes, peer: Address) -> None:
        self.sock.sendto(datagram, peer)

    def commands(self) -> List[bytes]:
        """Received packets that hold application messages."""
        return [d for _, d in self.received if any(wire.is_application(i) for i, _ in wire.parse(d).messages)]

    def _run(self) -> None:
        hello = wire.hello(PROGRAM_NODE_TYPE)
        next_send = time.monotonic()
        turn = 0
        while not self._stop.is_set():
            if select.select([self.sock], [], [], 0.01)[0]:
                datagram, sender = self.sock.recvfrom(2048)
                self.received.append((sender, datagram))
                for message_id, _ in wire.parse(datagram).messages:
                    if message_id == wire.HELLO:
                        self.sock.sendto(hello, sender)
                    elif message_id == wire.STREAM_REQUEST and sender not in self.streaming:
                        self.streaming.append(sender)
                    elif message_id == wire.STREAM_STOP and sender in self.streaming:
                        self.streaming.remove(sender)
            if self.packets and time.monotonic() >= next_send:
                for peer in self.streaming:
                    self.sock.sendto(self.packets[turn % len(self.packets)], peer)
                turn += 1
                next_send += 0.05

    def close(self) -> None:
        self._stop.set()
        self._thread.join()
        self.sock.close()


def last_line_with_values(output: str) -> Optional[str]:
    """The last complete "rate=N name=value ..." line that holds values, without "rate=N"."""
    lines = [line.split(" ", 1)[1] for line in output.splitlines() if line.startswith("rate=") and " " in line]
    return lines[-1] if lines else None


def word(value: int) -> bytes:
    return struct.pack("<I", value & 0xFFFFFFFF)
