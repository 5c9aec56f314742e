"""The client against a stand-in for the program. Datagrams that are not whole packets from the
program are skipped and counted; they never raise out of wait() or updates(), and never change
the state, which holds what the latest packet of each kind held. A panel given an address the
program does not answer from says so; a fault in its receiving thread is raised, not taken for
silence; a command whose effect never shows is not confirmed. The web panel (python -m zvmp web)
serves what the stand-in streams as events and refuses bad requests with the client's reasons."""

from __future__ import annotations

import http.client
import json
import os
import resource
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest
import warnings
from typing import Dict, List, Optional
from unittest import mock

import support
import zvmp
from zvmp import values, web, wire

HDG = 0x26011603
LAT = 0x27021101
GEAR = 0x22011501
VS0 = 0x26011401


def setUpModule() -> None:
    support.require_isolation()


def data(heading: float) -> bytes:
    return wire.build(support.PROGRAM_NODE_TYPE, [(HDG, struct.pack("<f", heading)), (GEAR, support.word(1))])


def read_events(response: http.client.HTTPResponse, count: int) -> List[Dict[str, object]]:
    """The next `count` blocks of an event stream, each its fields ("data" read as JSON)."""
    blocks: List[Dict[str, object]] = []
    block: Dict[str, object] = {}
    while len(blocks) < count:
        line = response.fp.readline().decode()
        assert line.endswith("\n"), "the stream ended"
        if line == "\n":
            blocks.append(block)
            block = {}
            continue
        field, value = line[:-1].split(": ", 1)
        assert field not in block, "%s twice in one event" % field
        block[field] = json.loads(value) if field == "data" else value
    return blocks


def request(port: int, method: str, path: str, body: bytes = b"", content_type: str = "application/json"):
    """(status, body read as JSON, or the text of a page) of one request to the web panel."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    try:
        connection.request(method, path, body=body or None, headers={"Content-Type": content_type} if body else {})
        response = connection.getresponse()
        text = response.read().decode()
        return response.status, json.loads(text) if response.getheader("Content-Type") == "application/json" else text
    finally:
        connection.close()


class WebPanel:
    """zvmp.web serving, on a port of its own, the stand-in at `program_port`."""

    def __init__(self, program_port: int, allow: List[web.Network] = (), page_folder: Optional[str] = None) -> None:
        self.web = web.WebPanel(("127.0.0.1", 0), allow, page_folder)
        self.web.start(("127.0.0.1", program_port))
        self.port = self.web.address[1]
        self.thread = threading.Thread(target=self.web.serve_forever, daemon=True)
        self.thread.start()

    def close(self) -> None:
        self.web.server.shutdown()
        self.web.close()


class MalformedTest(unittest.TestCase):
    def test_malformed_and_foreign_datagrams_are_counted_and_skipped(self) -> None:
        good = data(90.0)
        long_length = bytearray(good)
        long_length[16] += 4  # says 4 bytes more than arrive
        cut = wire.build(support.PROGRAM_NODE_TYPE, [(GEAR, support.word(0))])[:-4] + struct.pack("<I", LAT) + b"\0" * 4
        cut = cut[:16] + struct.pack("<I", len(cut)) + cut[20:]  # the latitude's 8 bytes do not fit
        wrong_count = bytearray(data(180.0))
        wrong_count[20] = 3  # two messages present
        malformed = [
            b"",
            b"\x13\x06",
            bytes(long_length),
            cut,
            bytes(wrong_count),
            wire.build(0x00030000, [(HDG, struct.pack("<f", 180.0))]),  # first word is no node type
            good + b"\0" * (wire.MAX_PACKET + 1 - len(good)),  # longer than a packet may be
            b"GET / HTTP/1.0\r\n\r\n" + b"\0" * 8,
        ]
        stand_in = support.StandIn()
        other = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        other.bind(("127.0.0.1", 0))
        try:
            with zvmp.Panel(port=stand_in.port) as panel:
                deadline = time.monotonic() + 5
                while not stand_in.streaming and time.monotonic() < deadline:
                    time.sleep(0.01)
                peer = stand_in.streaming[0]
                first = panel.updates(timeout=3.0)
                stand_in.send_to(good, peer)
                self.assertIsNotNone(next(first, None))
                for datagram in malformed:
                    stand_in.send_to(datagram, peer)
                # A whole data packet from anywhere but the program is foreign; hellos are not
                # counted, from the program (also in the type-coded form) or from elsewhere.
                other.sendto(data(180.0), peer)
                other.sendto(wire.hello(0x84060000), peer)
                stand_in.send_to(struct.pack("<II", 1, support.PROGRAM_NODE_TYPE), peer)
                stand_in.send_to(wire.hello(support.PROGRAM_NODE_TYPE), peer)
                updates = panel.updates(timeout=3.0)
                stand_in.send_to(data(270.0), peer)
                state = next(updates)
                self.assertEqual(state["hdg"], 270.0)
                self.assertEqual(state["gear"], 1)
                self.assertNotIn("lat", state)
                self.assertEqual(panel.dropped, len(malformed) + 1)
                self.assertEqual(panel.packets, 2)
                # A value the next data packet lacks leaves the state; the speed limits stay.
                stand_in.send_to(wire.build(support.PROGRAM_NODE_TYPE, [(VS0, struct.pack("<f", 110.0))]), peer)
                stand_in.send_to(wire.build(support.PROGRAM_NODE_TYPE, [(HDG, struct.pack("<f", 180.0))]), peer)
                state = next(updates)
                self.assertEqual((state["hdg"], state["vs0"], "gear" in state), (180.0, 110.0, False))
                self.assertLessEqual(state.received_at("vs0"), state.received_at("hdg"))
        finally:
            other.close()
            stand_in.close()

    def test_a_panel_given_an_address_the_program_does_not_answer_from_says_so_once(self) -> None:
        stand_in = support.StandIn([data(90.0)], address="0.0.0.0")  # answers from 127.0.0.1
        try:
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                with zvmp.Panel("127.0.0.2", port=stand_in.port) as panel:
                    with self.assertRaises(zvmp.NoDataError) as silent:
                        panel.wait(timeout=2.5, raise_on_timeout=True)
            seen = "127.0.0.1:%d" % stand_in.port
            self.assertEqual(silent.exception.status, "no-answer")
            self.assertIn("datagrams come from " + seen, str(silent.exception))
            said = [str(w.message) for w in caught if w.category is RuntimeWarning]
            self.assertEqual(len(said), 1, said)
            self.assertIn("127.0.0.2:%d has dropped every datagram for 1 s: they come from %s" % (stand_in.port, seen),
                          said[0])
        finally:
            stand_in.close()

    def test_the_reader_works_on_high_sockets_and_its_faults_are_raised(self) -> None:
        stand_in = support.StandIn([data(90.0)])
        limits = resource.getrlimit(resource.RLIMIT_NOFILE)
        fillers: List[int] = []
        try:
            # select() could not watch a socket numbered 1024 or more.
            if limits[1] != resource.RLIM_INFINITY and limits[1] < 1100:
                self.skipTest("the hard limit on open files is below 1100")
            resource.setrlimit(resource.RLIMIT_NOFILE, (max(limits[0], 1100), limits[1]))
            while not fillers or fillers[-1] < 1030:
                fillers.append(os.open(os.devnull, os.O_RDONLY))
            with zvmp.Panel(port=stand_in.port) as panel:
                self.assertGreater(panel._socket.fileno(), 1023)
                self.assertEqual(panel.wait(timeout=3.0, raise_on_timeout=True)["hdg"], 90.0)
                with self.assertRaises(zvmp.NotConfirmedError) as unconfirmed:
                    panel.send(hdg=270, confirm=0.5)
                self.assertEqual(str(unconfirmed.exception), "not confirmed within 0.5 s: hdg=270 (reads 90)")
                with mock.patch.object(panel, "_take", side_effect=RuntimeError("a fault in the reader")):
                    for waits in (lambda: panel.wait(timeout=3.0), lambda: next(panel.updates(timeout=3.0)),
                                  lambda: panel.status):
                        with self.assertRaises(zvmp.PanelError) as failed:
                            waits()
                        self.assertIsInstance(failed.exception.__cause__, RuntimeError)
        finally:
            for fd in fillers:
                os.close(fd)
            resource.setrlimit(resource.RLIMIT_NOFILE, limits)
            stand_in.close()

    def test_the_web_panel_streams_the_state_then_what_changed_and_its_status(self) -> None:
        stand_in = support.StandIn([data(90.0), data(91.0)])
        served = WebPanel(stand_in.port)
        try:
            deadline = time.monotonic() + 5.0
            while served.web.hub.whole()[2]["status"] != "streaming" and time.monotonic() < deadline:
                time.sleep(0.01)
            connection = http.client.HTTPConnection("127.0.0.1", served.port, timeout=5)
            connection.request("GET", "/events")
            events = connection.getresponse()
            self.assertEqual((events.status, events.getheader("Content-Type")), (200, "text/event-stream"))
            first = read_events(events, 4)
            self.assertEqual(first[0], {"retry": "1000"})
            self.assertEqual(first[1]["data"]["full"], True)
            self.assertEqual(first[1]["data"]["status"], "streaming")
            self.assertEqual(first[1]["data"]["values"]["gear"], 1)
            # One event per data packet, numbered, holding only what changed.
            for block in first[2:]:
                self.assertEqual(sorted(block), ["data", "id"])
                self.assertEqual(block["data"]["values"], {"hdg": 181.0 - first[1]["data"]["values"]["hdg"]
                                                           if block is first[2] else first[1]["data"]["values"]["hdg"]})
                self.assertEqual(block["data"]["removed"], [])
                self.assertAlmostEqual(block["data"]["received"] / 1000.0, time.time(), delta=2.0)
            self.assertEqual(int(first[3]["id"]), int(first[2]["id"]) + 1)
            # A value the next packet lacks is named as removed; the state says the same.
            stand_in.packets = [wire.build(support.PROGRAM_NODE_TYPE, [(HDG, struct.pack("<f", 200.0))])]
            while True:
                block = read_events(events, 1)[0]
                if block["data"]["removed"]:
                    break
            self.assertEqual((block["data"]["values"], block["data"]["removed"]), ({"hdg": 200.0}, ["gear"]))
            self.assertEqual(request(served.port, "GET", "/state")[1]["values"], {"hdg": 200.0})
            # Data stops while the stand-in still answers hellos: no answer until its next hello
            # comes, then "waiting for the simulator".
            stand_in.packets = []
            said = []
            while said[-1:] != ["answered"]:
                block = read_events(events, 1)[0]
                if block.get("event") == "status":
                    said.append(block["data"]["status"])
            self.assertIn(said, [["answered"], ["no-answer", "answered"]])
            self.assertEqual(block["data"], {"status": "answered", "text": "program waiting for the simulator",
                                             "program": "127.0.0.1:%d" % stand_in.port})
            connection.close()
        finally:
            served.close()
            stand_in.close()

    def test_the_web_panel_refuses_bad_requests_with_the_clients_reasons(self) -> None:
        def reason(name: str, typed: str) -> str:
            with self.assertRaises(ValueError) as refused:
                values.command_word(values.by_name(name), typed)
            return str(refused.exception)

        # (method, path, body, content type, status, what the answer holds)
        rows = [
            ("POST", "/send", b'{"hdg": 270}', "text/plain", 415, "Content-Type: application/json"),
            ("POST", "/send", b'{"hdg": 270}', "application/x-www-form-urlencoded", 415, "application/json"),
            ("POST", "/send", b"[" * (web.MAX_BODY + 1), "application/json", 413, "longer than 4096 bytes"),
            ("POST", "/send", b'{"hdg": ', "application/json", 400, "the body is not JSON"),
            ("POST", "/send", b"\xff", "application/json", 400, "the body is not JSON"),
            ("POST", "/send", b"[1]", "application/json", 400, "a JSON object of names and values"),
            ("POST", "/send", b"{}", "application/json", 400, "send needs NAME VALUE pairs"),
            ("POST", "/send", b'{"hdg": "400"}', "application/json", 400, reason("hdg", "400")),
            ("POST", "/send", b'{"xpdr": "7008"}', "application/json", 400, reason("xpdr", "7008")),
            ("POST", "/send", b'{"hdg": null}', "application/json", 400, "neither a number nor text"),
            ("POST", "/send", b'{"hdg": true}', "application/json", 400, "True and False are for on/off values"),
            ("POST", "/send", b'{"bogus": 1}', "application/json", 400, "unknown name 'bogus'"),
            ("POST", "/send", b'{"hdg": 270, "hdg_hold": true}', "application/json; charset=utf-8", 200,
             "hdg=270 hdg-hold=1"),
            ("POST", "/state", b"{}", "application/json", 404, "POST goes to /send"),
            ("GET", "/etc/passwd", b"", "", 404, "no such page: /etc/passwd"),
            ("GET", "/", b"", "", 200, "<title>Pyx panel</title>"),
            ("GET", "/panel.js", b"", "", 200, 'new EventSource("events")'),
        ]
        stand_in = support.StandIn([data(90.0)])
        served = WebPanel(stand_in.port)
        streams: List[http.client.HTTPResponse] = []
        try:
            for method, path, body, content_type, status, said in rows:
                with self.subTest(method=method, path=path, body=body[:40], content_type=content_type):
                    answer = request(served.port, method, path, body, content_type)
                    self.assertEqual(answer[0], status, answer)
                    shown = answer[1] if isinstance(answer[1], str) else answer[1].get("error", answer[1].get("sent"))
                    self.assertIn(said, shown)
            time.sleep(0.3)
            # Only the accepted command reached the program, as the client builds it.
            self.assertEqual(stand_in.commands(), [zvmp.panel.build_commands(0x81060000, [("hdg", 270),
                                                                                         ("hdg_hold", True)])[0]])
            # Event streams beyond the bound are refused; one that ends frees its place.
            with mock.patch.object(web, "MAX_STREAMS", 2):
                for expected in (200, 200, 503, "close", 200):
                    if expected == "close":
                        streams.pop(0).close()
                        time.sleep(0.3)
                        continue
                    connection = http.client.HTTPConnection("127.0.0.1", served.port, timeout=5)
                    connection.request("GET", "/events")
                    # The stream lives as long as its response is kept.
                    streams.append(connection.getresponse())
                    self.assertEqual(streams[-1].status, expected)
        finally:
            for stream in streams:
                stream.close()
            served.close()
        # With a page folder its files are served in place of the package's page, and nothing else.
        with tempfile.TemporaryDirectory() as folder:
            os.mkdir(os.path.join(folder, "sub"))
            with open(os.path.join(folder, "index.html"), "w") as page:
                page.write("<p>my panel</p>")
            served = WebPanel(stand_in.port, page_folder=folder)
            try:
                for path, status, said in [("/", 200, "<p>my panel</p>"), ("/panel.js", 404, "File not found"),
                                           ("/sub/", 404, "no such page: /sub/"),
                                           ("/../../../../etc/passwd", 404, "File not found"),
                                           ("/state", 200, None)]:
                    with self.subTest(path=path):
                        answer = request(served.port, "GET", path)
                        self.assertEqual(answer[0], status, answer)
                        if said is not None:
                            self.assertEqual(answer[1] if status == 200 else answer[1]["error"], said)
            finally:
                served.close()
                stand_in.close()

    def test_the_web_panels_addresses_are_read_as_the_programs(self) -> None:
        # (NETWORK[/BITS], an address, whether the network holds it); None: refused
        rows = [("192.168.1.0/24", "192.168.1.77", True), ("192.168.1.0/24", "192.168.2.1", False),
                ("192.168.1.77/24", "192.168.1.1", True), ("10.0.0.7", "10.0.0.7", True),
                ("10.0.0.7", "10.0.0.8", False),
                ("0.0.0.0/0", "203.0.113.9", True), ("127.0.0.1/32", "127.0.0.1", True), ("010.0.0.1", "", None),
                ("10.0.0.0/08", "", None), ("10.0.0.0/33", "", None), ("10.0.0", "", None), ("256.0.0.1", "", None),
                ("10.0.0.1/", "", None), ("1.2.3.4.5", "", None), (" 10.0.0.1", "", None), ("\uff11.2.3.4", "", None)]
        for text, address, held in rows:
            with self.subTest(network=text):
                if held is None:
                    with self.assertRaisesRegex(ValueError, "^--allow takes NETWORK"):
                        web.parse_network(text)
                else:
                    self.assertEqual(web.parse_network(text).holds(address), held)
        for text, listen in [("0.0.0.0:8080", ("0.0.0.0", 8080)), ("127.0.0.1:65535", ("127.0.0.1", 65535)),
                             ("127.0.0.1", None), ("127.0.0.1:0", None), ("127.0.0.1:65536", None),
                             ("localhost:8080", None), (":8080", None), ("127.0.0.01:8080", None)]:
            with self.subTest(listen=text):
                if listen is None:
                    with self.assertRaisesRegex(ValueError, "^--listen takes ADDRESS:PORT"):
                        web.parse_listen(text)
                else:
                    self.assertEqual(web.parse_listen(text), listen)
        # A connection from outside --allow is closed unanswered; one from inside is served.
        stand_in = support.StandIn([data(90.0)])
        for allow, served_at_all in [("10.0.0.0/8", False), ("127.0.0.0/8", True)]:
            with self.subTest(allow=allow):
                served = WebPanel(stand_in.port, [web.parse_network(allow)])
                try:
                    if served_at_all:
                        self.assertEqual(request(served.port, "GET", "/state")[0], 200)
                    else:
                        with self.assertRaises((http.client.RemoteDisconnected, ConnectionResetError)):
                            request(served.port, "GET", "/state")
                finally:
                    served.close()
        # A port in use ends python -m zvmp web with one line and status 2.
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            command = support.python_module("web", "--listen", "127.0.0.1:%d" % port, "--host", "127.0.0.1")
            done = subprocess.run(command, capture_output=True, timeout=20, env=support.child_environment())
        stand_in.close()
        self.assertEqual((done.returncode, done.stdout), (2, b""))
        self.assertEqual(done.stderr.decode(),
                         "python -m zvmp: web: cannot listen on 127.0.0.1:%d: the port is in use\n" % port)


if __name__ == "__main__":
    unittest.main()
