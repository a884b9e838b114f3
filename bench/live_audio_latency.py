#!/usr/bin/env python3
"""Added latency of the program's live sound against pacat's, on the same sound server.

panel-sim sends silence with a click every second and logs each click's send time
(CLOCK_MONOTONIC). parec records the null sink's monitor with a 10 ms latency; a click's arrival
is when its first loud sample comes out of parec. Phase one: this script is the workstation,
reading the panel's stream and piping it into pacat at its low-latency setting. Phase two: the
program, after a click on its listen button. Both phases measure the same way, so the
recorder's own latency cancels out of the difference.
"""
import argparse
import os
import socket
import statistics
import subprocess
import threading
import time

RATE = 8000
THRESHOLD = 8000  # a click is full scale; the tone-free stream is silence
QUIET_SAMPLES = RATE // 10  # a click follows at least 100 ms of quiet


class MonitorClicks:
    """Arrival times of the clicks in the null sink's monitor.

    The recording runs on the sink's clock (CLOCK_MONOTONIC, as ours), so a sample's time is
    the stream's start plus its index over the rate. The start is estimated from every read as
    the time of the read less the samples read so far, keeping the earliest: the read that was
    least delayed by this reader's own scheduling.
    """

    def __init__(self):
        self.clicks = []  # sample indexes
        self.start = None
        self.lock = threading.Lock()
        self.proc = subprocess.Popen(
            ["parec", "--device=nul.monitor", "--raw", "--format=s16le", "--rate=%d" % RATE,
             "--channels=1", "--latency-msec=10"], stdout=subprocess.PIPE, bufsize=0)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        quiet = 0
        rest = b""
        total = 0
        fd = self.proc.stdout.fileno()
        while True:
            data = os.read(fd, 4096)
            now = time.monotonic()
            if not data:
                return
            data = rest + data
            n = len(data) // 2
            rest = data[2 * n:]
            samples = memoryview(data[:2 * n]).cast("h")
            found = []
            for i in range(n):
                if abs(samples[i]) >= THRESHOLD:
                    if quiet >= QUIET_SAMPLES:
                        found.append(total + i)
                    quiet = 0
                else:
                    quiet += 1
            total += n
            with self.lock:
                start = now - total / RATE
                self.start = start if self.start is None else min(self.start, start)
                self.clicks.extend(found)

    def count_since(self, start):
        with self.lock:
            return sum(1 for i in self.clicks if self.start + i / RATE >= start)

    def indexes(self):
        with self.lock:
            return list(self.clicks)

    def time_of(self, index):
        with self.lock:
            return self.start + index / RATE

    def stop(self):
        self.proc.kill()
        self.proc.wait()


def sent_clicks(panel_log):
    """The panel's click send times, in seconds of CLOCK_MONOTONIC."""
    times = []
    with open(panel_log) as f:
        for line in f:
            if " click " in line:
                times.append(int(line.rsplit(" ", 1)[1]) / 1e6)
    return times


def latencies(arrivals, sent):
    """Each arrival against the nearest click sent (clicks are a second apart)."""
    out = []
    for t in arrivals:
        near = min(sent, key=lambda s: abs(t - s), default=None)
        if near is not None and -0.1 < t - near < 0.9:
            out.append((t - near) * 1000)
    return out


def wait_clicks(monitor, start, count, timeout):
    """The sample indexes of the clicks heard from `start` on, once there are `count`."""
    before = set(monitor.indexes())
    deadline = time.monotonic() + timeout
    while monitor.count_since(start) < count and time.monotonic() < deadline:
        time.sleep(0.1)
    return [i for i in monitor.indexes() if i not in before]


def pacat_phase(monitor, panel, count):
    host, port = panel.rsplit(":", 1)
    sock = socket.create_connection((host, int(port)))
    header = b""
    while len(header) < 22:
        header += sock.recv(22 - len(header))
    pacat = subprocess.Popen(
        ["pacat", "--playback", "--raw", "--format=s16le", "--rate=%d" % RATE, "--channels=1",
         "--latency-msec=20"], stdin=subprocess.PIPE, bufsize=0)
    start = time.monotonic()
    sock.sendall(b"READY")

    def pump():
        try:
            while True:
                data = sock.recv(65536)
                if not data:
                    return
                pacat.stdin.write(data)
        except OSError:
            return

    threading.Thread(target=pump, daemon=True).start()
    arrivals = wait_clicks(monitor, start, count, count * 1.5 + 10)
    sock.shutdown(socket.SHUT_RDWR)
    sock.close()
    pacat.kill()
    pacat.wait()
    return arrivals


def program_phase(monitor, window, count):
    start = time.monotonic()
    # The listen button's middle: (115, 280) of the client area, 24 x 25, under the menu bar.
    subprocess.run(["xdotool", "mousemove", "--window", window, "127", "314", "click", "1"],
                   check=True)
    return wait_clicks(monitor, start, count, count * 1.5 + 10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--panel", required=True, help="ADDR:PORT of panel-sim's audio service")
    parser.add_argument("--panel-log", required=True)
    parser.add_argument("--window", required=True, help="the program's X window id")
    parser.add_argument("--clicks", type=int, default=20)
    args = parser.parse_args()
    warmup = 2  # the first clicks of a stream include its start
    monitor = MonitorClicks()
    time.sleep(1)
    heard = {}
    for name, run in (("pacat --latency-msec=20", lambda: pacat_phase(monitor, args.panel,
                                                                       args.clicks + warmup)),
                      ("program", lambda: program_phase(monitor, args.window,
                                                        args.clicks + warmup))):
        heard[name] = run()
        time.sleep(2)
    # Times from the final estimate of the recording's start, the same for both phases.
    sent = sent_clicks(args.panel_log)
    figures = {}
    for name, indexes in heard.items():
        arrivals = [monitor.time_of(i) for i in indexes]
        ms = latencies(arrivals, sent)[warmup:warmup + args.clicks]
        if len(ms) < args.clicks:
            raise SystemExit("%s: only %d of %d clicks heard in time (%d heard, %d sent): %s"
                             % (name, len(ms), args.clicks, len(arrivals), len(sent),
                                ["%.0f" % m for m in ms]))
        figures[name] = statistics.median(ms)
        print("%-24s median %6.1f ms over %d clicks (min %.1f, max %.1f): %s"
              % (name, figures[name], len(ms), min(ms), max(ms),
                 " ".join("%.0f" % m for m in ms)))
    monitor.stop()
    added = figures["program"] - figures["pacat --latency-msec=20"]
    print("added latency of the program: %.1f ms (goal: at most 20 ms)" % added)


if __name__ == "__main__":
    main()
