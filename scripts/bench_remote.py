"""The network client's figures, for scripts/bench --remote (run by it inside the private network
namespace): the program streaming to one full panel, flying the in-process built-in simulator and
flying zvsim over TCP on loopback through a SimConnect.cfg, in alternating runs of the same length;
its CPU in each, zvsim's beside it, and the time from a simulator frame to the panel's packet
that carries it.

A frame's time is its "ABSOLUTE TIME" (the built-in simulator's clock: the wall clock, moved on by
the monotonic one), read from the recording the program makes of the run (-r); the packet is matched
to its frame by its longitude, which changes at every frame, and its arrival is the wall clock when
the panel hands it over."""
import csv
import io
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

import zvmp
from bench import PROGRAM, SECONDS, cpu_seconds, machine

PROGRAM = os.path.abspath(PROGRAM)
ZVSIM = os.path.join(os.path.dirname(PROGRAM), "zvsim")
RECORDING_TOOL = os.path.join(os.path.dirname(PROGRAM), "zvmp-recording")
UNIX_EPOCH_IN_SIM_SECONDS = 62135596800.0
PORT = 5000


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def frame_times(recording):
    """The frame time (Unix seconds) of each longitude the recording holds, as a packet carries it
    (float64, or float32 where the identifier's kind says so)."""
    text = subprocess.run([RECORDING_TOOL, "csv", recording, "ABSOLUTE TIME", "PLANE LONGITUDE"],
                          check=True, capture_output=True, text=True).stdout
    times = {}
    for row in csv.DictReader(io.StringIO(text)):
        lon, at = float(row["PLANE LONGITUDE"]), float(row["ABSOLUTE TIME"]) - UNIX_EPOCH_IN_SIM_SECONDS
        times.setdefault(lon, at)
        times.setdefault(f32(lon), at)
    return times


def run(remote, folder):
    zvsim = None
    if remote:
        with open(os.path.join(folder, "SimConnect.cfg"), "w") as f:
            f.write("[SimConnect.0]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=%d\n" % PORT)
        zvsim = subprocess.Popen([ZVSIM, "--port", str(PORT)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.5)
    recording = os.path.join(folder, "run.zvrec")
    program = subprocess.Popen([PROGRAM, "-s", "-r", recording], cwd=folder, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    arrivals = []
    with zvmp.Panel(kind="full") as panel:
        panel.wait(3)
        before, zvsim_before, t0 = cpu_seconds(program.pid), zvsim and cpu_seconds(zvsim.pid), time.monotonic()
        while time.monotonic() - t0 < SECONDS:
            state = panel.wait(1)
            if state is not None:
                arrivals.append((time.time(), state["lon"]))
        elapsed = time.monotonic() - t0
        share = 100.0 * (cpu_seconds(program.pid) - before) / elapsed
        zvsim_share = zvsim and 100.0 * (cpu_seconds(zvsim.pid) - zvsim_before) / elapsed
    program.terminate()
    program.wait(10)
    if zvsim:
        zvsim.terminate()
        zvsim.wait(10)
        os.remove(os.path.join(folder, "SimConnect.cfg"))
    times = frame_times(recording)
    delays = [1000.0 * (at - times[lon]) for at, lon in arrivals if lon in times]
    os.remove(recording)
    return share, zvsim_share, delays, len(arrivals)


def percentile(samples, p):
    samples = sorted(samples)
    return samples[min(len(samples) - 1, int(p * len(samples)))]


if __name__ == "__main__":
    machine()
    shares = {False: [], True: []}
    zvsim_shares = []
    delays = {False: [], True: []}
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(2):
            for remote in (False, True):
                share, zvsim_share, d, packets = run(remote, folder)
                shares[remote].append(share)
                delays[remote].extend(d)
                if remote:
                    zvsim_shares.append(zvsim_share)
                if len(d) < packets * 0.9:
                    print("only %d of %d packets matched a frame" % (len(d), packets))
    print("program's CPU, one full panel streaming, -r, %.0f s runs: in-process %s %% of a core, over TCP to zvsim "
          "%s %% (zvsim itself %s %%)" % (SECONDS, " / ".join("%.3f" % s for s in shares[False]),
                                          " / ".join("%.3f" % s for s in shares[True]),
                                          " / ".join("%.3f" % s for s in zvsim_shares)))
    for remote in (False, True):
        d = delays[remote]
        if d:
            print("frame to the panel's packet, %s (%d packets): p50 %.1f ms, p99 %.1f ms"
                  % ("over TCP to zvsim" if remote else "in-process", len(d), statistics.median(d), percentile(d, 0.99)))
    sys.exit(0)
