"""The client reads and writes what zvmp-monitor reads and writes: the same captured packets
print the same line, the same commands put the same bytes on the wire, and the same bad values
are refused with the same reason."""

from __future__ import annotations

import signal
import struct
import subprocess
import time
import unittest
from typing import List, Sequence, Tuple

import support
import zvmp
from zvmp import values, wire


def setUpModule() -> None:
    support.require_isolation()


def run_both(packets: Sequence[bytes], seconds: float = 2.6) -> Tuple[str, str]:
    """zvmp-monitor and `python -m zvmp`, piped, watching a stand-in that streams `packets`:
    the output of each."""
    stand_in = support.StandIn(packets)
    port = str(stand_in.port)
    try:
        children = [
            subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=support.child_environment())
            for command in ([support.MONITOR, "--port", port], support.python_module("--port", port))
        ]
        time.sleep(seconds)
        outputs = []
        for child in children:
            child.send_signal(signal.SIGINT)
            out, err = child.communicate(timeout=10)
            assert child.returncode == 0, err
            outputs.append(out.decode())
        return outputs[0], outputs[1]
    finally:
        stand_in.close()


def message(message_id: int, payload: bytes) -> Tuple[int, bytes]:
    return (message_id, payload)


def edge_packet() -> bytes:
    """Every catalogue message, with values at the edges of the monitor's formats: negative
    zero and values that round to zero, Mach speed, a short squawk, signed and hex words."""
    messages: List[Tuple[int, bytes]] = []
    for i, e in enumerate(values.ENTRIES):
        kind = e.id >> 24
        if kind == 0x27:
            messages.append(message(e.id, struct.pack("<d", -0.0000004 if i % 2 else 47.1234565)))
        elif kind == 0x26:
            x = [-0.0, -0.004, 0.125, 1e9, -273.15, 0.785][i % 6]
            if e.show == "speed":
                x = 0.7849999
            messages.append(message(e.id, struct.pack("<f", x)))
        elif e.show == "radio":
            messages.append(message(e.id, struct.pack("<12I", *[10800 + 7 * w for w in range(11)], 5)))
        elif e.show == "squawk":
            messages.append(message(e.id, support.word(17)))
        elif e.show == "int":
            messages.append(message(e.id, support.word(-5)))
        else:
            messages.append(message(e.id, support.word(0xFFFFFFFF - i)))
    return wire.build(support.PROGRAM_NODE_TYPE, messages)


class MonitorTest(unittest.TestCase):
    def test_captured_packets_read_as_the_monitor_reads_them(self) -> None:
        program = support.Program()
        try:
            captured = support.capture(["full", "limits"])
        finally:
            self.assertEqual(program.stop(), 0)
        self.assertEqual(sorted(captured), ["full", "limits"])
        state = zvmp.State()
        for datagram in (captured["full"], captured["limits"]):
            for message_id, payload in wire.parse(datagram).messages:
                state.take(message_id, payload)

        monitor, client = run_both([captured["full"], captured["limits"]])
        shown = support.last_line_with_values(monitor)
        self.assertIsNotNone(shown, monitor)
        self.assertEqual(support.last_line_with_values(client), shown)
        self.assertEqual(state.line(), shown)
        # The stand-in sends twenty packets a second (fewer on a busy machine).
        self.assertRegex(client.splitlines()[-1], r"^rate=([5-9]|1[0-9]|2[0-2]) ")

    def test_edge_values_read_as_the_monitor_reads_them(self) -> None:
        monitor, client = run_both([edge_packet()])
        shown = support.last_line_with_values(monitor)
        self.assertIsNotNone(shown, monitor)
        self.assertEqual(support.last_line_with_values(client), shown)

    def test_commands_go_out_as_the_monitor_sends_them(self) -> None:
        # 128.20 MHz and 1024.10 kHz are a hair below their hundredths in binary.
        words = ["hdg", "270", "alt", "12000", "vs", "-1500", "spd", "0.78", "com1", "118.10", "com2", "128.20",
                 "nav2s", "117.95", "adf1", "350", "adf2s", "1024.10", "xpdr", "0017", "baro", "1013", "hdg-hold", "ON",
                 "efis-options", "0x23C", "efis-range", "40", "roll", "-20", "spd-mach", "Off",
                 "xpdr-mode", "4294967295"]
        stand_in = support.StandIn()
        port = str(stand_in.port)
        try:
            for command in ([support.MONITOR, "--port", port, "send"], support.python_module("--port", port, "send")):
                done = subprocess.run(command + words, capture_output=True, env=support.child_environment(), timeout=10)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertRegex(done.stdout.decode(), r"^sent hdg=270 alt=12000 vs=-1500 spd=0.780 com1=118.10 ")
            with zvmp.Panel(port=stand_in.port) as panel:
                panel.send(hdg=270, alt=12000.0, vs=-1500, spd=0.78, com1=118.1, com2=128.2, nav2s=117.95, adf1=350,
                           adf2s=1024.1, xpdr="0017", baro=1013, hdg_hold=True, efis_options=0x23C, efis_range=40,
                           roll=-20, spd_mach=False, xpdr_mode=4294967295)
                time.sleep(0.3)
        finally:
            stand_in.close()
        sent = stand_in.commands()
        self.assertEqual(len(sent), 3)
        self.assertEqual(sent[1], sent[0])
        self.assertEqual(sent[2], sent[0])
        self.assertEqual(len(wire.parse(sent[0]).messages), len(words) // 2)

    def test_bad_commands_are_refused_as_the_monitor_refuses_them(self) -> None:
        rows = [("hdg", "360.5"), ("hdg", "abc"), ("hdg", " 270"), ("hdg", "+5"), ("hdg", "1e400"), ("alt", "-1"),
                ("vs", "10001"), ("spd", "0"), ("spd", "999.5"), ("com1", "117.99"), ("com1", "137"),
                ("nav1", "118.00"), ("adf1", "99.99"), ("adf1", "1800"), ("xpdr", "7008"), ("xpdr", "12345"),
                ("xpdr", ""), ("baro", "849"), ("baro", "35.01"), ("hdg-hold", "2"), ("hdg-hold", "yes"),
                ("ap-source", "3"), ("efis-options", "0x100000000"), ("efis-mode", "-1"), ("fd-mode", "1.0"),
                ("lat", "5"), ("bogus", "1"), ("hdg_hold", "on"), ("hdg-hold", "0n"), ("efis-mode", "ON")]
        for name, typed in rows:
            with self.subTest(name=name, value=typed):
                done = subprocess.run([support.MONITOR, "send", name, typed], capture_output=True, timeout=10)
                self.assertEqual(done.returncode, 2)
                reason = done.stderr.decode().strip().replace("zvmp-monitor: ", "", 1)
                if name == "hdg_hold":
                    # The client takes "_" for "-" (keyword arguments cannot hold "-").
                    self.assertIn(0x22011624, {i for i, _ in wire.parse(
                        zvmp.panel.build_commands(0x81060000, [(name, typed)])[0]).messages})
                    continue
                with self.assertRaises(ValueError) as refused:
                    zvmp.panel.build_commands(0x81060000, [(name, typed)])
                self.assertEqual(str(refused.exception), reason.replace(" (see zvmp-monitor send --list)", ""))

    def test_bad_hosts_are_refused_as_the_monitor_refuses_them(self) -> None:
        for host in ["0.0.0.0", "0.1.2.3", "239.224.224.1", "255.255.255.255", "240.0.0.1", "10.0.0"]:
            with self.subTest(host=host):
                said = []
                for command in ([support.MONITOR, "--host", host], support.python_module("--host", host)):
                    done = subprocess.run(command, capture_output=True, timeout=10, env=support.child_environment())
                    self.assertEqual(done.returncode, 2)
                    said.append(done.stderr.decode().split(": ", 1)[1])
                self.assertEqual(said[1], said[0])
                if host != "10.0.0":  # a name to the client, which resolves it
                    with self.assertRaises(ValueError) as refused:
                        zvmp.Panel(host)
                    self.assertEqual("--" + str(refused.exception), said[0].strip())

    def test_bad_panel_arguments_are_refused_at_once(self) -> None:
        rows = [({"port": "59000"}, "port is a whole number"), ({"port": 70000}, "port is a whole number"),
                ({"port": True}, "port is a whole number"), ({"host": ""}, "host is an IPv4 address or a name"),
                ({"host": 2130706433}, "host is an IPv4 address"), ({"local_port": -1}, "local_port is a whole"),
                ({"kind": "81"}, "kind is 'full' or 'position'")]
        for arguments, reason in rows:
            with self.subTest(**arguments), self.assertRaisesRegex(ValueError, "^" + reason):
                zvmp.Panel(**arguments)  # type: ignore[arg-type]
        for name, given, word in [("hdg-hold", True, 1), ("spd-mach", False, 0), ("hdg", True, None),
                                  ("xpdr", False, None)]:
            with self.subTest(name=name, given=given):
                if word is None:
                    with self.assertRaisesRegex(ValueError, "True and False are for on/off values"):
                        values.command_word(values.by_name(name), given)
                else:
                    self.assertEqual(values.command_word(values.by_name(name), given), word)

    def test_send_list_is_the_monitors(self) -> None:
        monitor = subprocess.run([support.MONITOR, "send", "--list"], capture_output=True, timeout=10)
        client = subprocess.run(support.python_module("send", "--list"), capture_output=True, timeout=10,
                                env=support.child_environment())
        self.assertEqual(client.stdout.decode(), monitor.stdout.decode())


if __name__ == "__main__":
    unittest.main()
