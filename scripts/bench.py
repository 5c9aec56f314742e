"""The figures scripts/bench prints; run by it inside the private network namespace (bench_web.py,
for scripts/bench --web, takes its CPU counting from here)."""
import os
import random
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import zvmp
from zvmp.catalogue import FIRST_PORT

PROGRAM = sys.argv[1]
SECONDS = float(sys.argv[2])
# "wine": PROGRAM is the Windows program, run under Wine; its start takes longer.
WINE = len(sys.argv) > 3 and sys.argv[3] == "wine"
COMMAND = ["scripts/wine-run", PROGRAM] if WINE else [PROGRAM]


def cpu_seconds(pid):
    """CPU time of the process's threads as the scheduler counts it, to the nanosecond (the
    times in /proc/PID/stat are whole clock ticks of 10 ms, too coarse for an idle program)."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass  # a thread that has just ended
    return total / 1e9


def start(*args, env=None):
    p = subprocess.Popen([*COMMAND, "-s", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    time.sleep(8 if WINE else 1.5)
    return p


def stop(p):
    # Wine hands SIGINT to the program as Ctrl-C.
    p.send_signal(signal.SIGINT if WINE else signal.SIGTERM)
    p.wait(20)


def cpu_share(p, seconds):
    before, t0 = cpu_seconds(p.pid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_seconds(p.pid) - before) / (time.monotonic() - t0)


def idle():
    p = start()
    print("idle CPU, no panels, %.0f s: %.3f %% of a core" % (SECONDS, cpu_share(p, SECONDS)))
    stop(p)


def streaming():
    p = start()
    with zvmp.Panel(kind="full") as full, zvmp.Panel(kind="position"):
        full.wait(3)
        n0 = full.packets
        share = cpu_share(p, SECONDS)
        rate = (full.packets - n0) / SECONDS
    print("CPU, one full and one position panel streaming, %.0f s: %.3f %% of a core (%.1f packets/s)"
          % (SECONDS, share, rate))
    stop(p)


def latency():
    p = start()
    samples = []
    with zvmp.Panel(kind="full") as panel:
        panel.wait(3)
        for i in range(60):
            value = 100 + (i % 2) * 100 + i
            t0 = time.monotonic()
            panel.send(hdg=value)
            while time.monotonic() - t0 < 2:
                state = panel.wait(2)
                if state is not None and abs(state["hdg"] - value) < 0.5:
                    samples.append(1000 * (time.monotonic() - t0))
                    break
            time.sleep(random.uniform(0.02, 0.08))
    stop(p)
    samples.sort()
    if samples:
        p99 = samples[min(len(samples) - 1, int(0.99 * len(samples)))]
        print("command to first full packet showing it (%d samples): p50 %.1f ms, p99 %.1f ms"
              % (len(samples), statistics.median(samples), p99))


def cpflight():
    master, slave = os.openpty()
    os.set_blocking(master, False)
    path = os.ttyname(slave)
    unit = bytearray()
    done = threading.Event()

    def play_unit():
        while not done.is_set():
            try:
                unit.extend(os.read(master, 4096))
            except BlockingIOError:
                time.sleep(0.002)
            except OSError:
                time.sleep(0.002)

    reader = threading.Thread(target=play_unit, daemon=True)
    reader.start()
    p = subprocess.Popen([PROGRAM, "-s", "-c", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    gaps = []
    with zvmp.Panel(kind="full") as panel:
        panel.wait(3)
        last = time.monotonic()
        end = last + 9
        while time.monotonic() < end:
            if panel.wait(1) is not None:
                now = time.monotonic()
                gaps.append(1000 * (now - last))
                last = now
    stop(p)
    done.set()
    configured = b"L0198" in unit
    print("CPFlight start-up on a pseudo-terminal: longest gap between full packets %.0f ms over 9 s "
          "(unit configured: %s)" % (max(gaps) if gaps else float("nan"), "yes" if configured else "no"))


def flood():
    p = start()
    stop_flood = threading.Event()
    sent = [0]

    def send_junk():
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        junk = [os.urandom(random.randint(1, 64)) for _ in range(64)]
        while not stop_flood.is_set():
            for d in junk:
                try:
                    s.sendto(d, ("127.0.0.1", FIRST_PORT))
                except OSError:
                    pass
            sent[0] += len(junk)

    with zvmp.Panel(kind="full") as panel:
        panel.wait(3)
        n0 = panel.packets
        t0 = time.monotonic()
        quiet = cpu_share(p, 5)
        rate_quiet = (panel.packets - n0) / (time.monotonic() - t0)
        flooder = threading.Thread(target=send_junk, daemon=True)
        flooder.start()
        n0, s0, t0 = panel.packets, sent[0], time.monotonic()
        share = cpu_share(p, 10)
        elapsed = time.monotonic() - t0
        rate = (panel.packets - n0) / elapsed
        flood_rate = (sent[0] - s0) / elapsed
        stop_flood.set()
    stop(p)
    print("flood of %.0f random datagrams/s: program %.2f %% of a core (%.2f %% without), "
          "stream %.1f packets/s (%.1f without)" % (flood_rate, share, quiet, rate, rate_quiet))


def thread_seconds(pid):
    """CPU seconds of the process's main thread and of its other threads (the recorder's)."""
    main = others = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                ns = int(f.read().split()[0])
        except OSError:
            continue
        if int(task) == pid:
            main += ns
        else:
            others += ns
    return main / 1e9, others / 1e9


def recording():
    """CPU at the built-in simulator's 36 frames a second without and with -r, in alternating
    runs, with the recorder thread's own share apart (the difference of two runs is near the
    noise of one), and the recording's size per minute."""
    def run(recording_on, path, env=None):
        t0 = time.monotonic()
        p = start(*(["-r", path] if recording_on else []), env=env)
        (m0, o0), t1 = thread_seconds(p.pid), time.monotonic()
        time.sleep(SECONDS)
        (m1, o1), t2 = thread_seconds(p.pid), time.monotonic()
        stop(p)
        rate = os.path.getsize(path) / (time.monotonic() - t0) * 60 if recording_on else 0.0
        return 100 * (m1 - m0 + o1 - o0) / (t2 - t1), 100 * (o1 - o0) / (t2 - t1), rate / 1024

    runs = {False: [], True: []}
    with tempfile.TemporaryDirectory() as folder:
        for round_ in range(2):
            for recording_on in (False, True):
                runs[recording_on].append(run(recording_on, os.path.join(folder, "cruise%d.zvrec" % round_)))
        # A flight that changes: the recording in recordings/ (turning, climbing), replayed in a loop.
        replay = dict(os.environ, ZVSIM_REPLAY="recordings/builtin-flight.zvrec", ZVSIM_REPLAY_LOOP="1")
        flying = run(True, os.path.join(folder, "replayed.zvrec"), replay)
    print("CPU at 36 frames/s, no panels, %.0f s runs, cruising: without -r %s %% of a core, with -r %s %% "
          "(of which the recorder thread %s %%), recording %.0f KB a minute"
          % (SECONDS, " / ".join("%.3f" % r[0] for r in runs[False]),
             " / ".join("%.3f" % r[0] for r in runs[True]), " / ".join("%.3f" % r[1] for r in runs[True]),
             runs[True][-1][2]))
    print("the same, replaying recordings/builtin-flight.zvrec (turning, climbing): with -r %.3f %% "
          "(recorder thread %.3f %%), recording %.0f KB a minute" % flying)


def machine(note=""):
    print("machine: %s, %d cores; %s%s" % (os.uname().machine, os.cpu_count(), time.strftime("%Y-%m-%d"), note))


if __name__ == "__main__":
    machine("; the Windows program under Wine (Wine's server not counted)" if WINE else "")
    idle()
    streaming()
    latency()
    if not WINE:
        cpflight()
        flood()
        recording()
