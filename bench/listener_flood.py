#!/usr/bin/env python3
"""Load for bench/listener-flood.sh: keeps IDLE silent connections open to the listener (opening
a new one whenever the listener closes one), sends RATE malformed messages per second on a few
connections of their own for SECONDS, and every half second has a real panel (panel-sim notify
ntmy) announce itself, timing the answer. Prints one summary line of key=value pairs."""

import argparse
import random
import selectors
import socket
import subprocess
import time

FLOOD_CONNECTIONS = 4


def connect(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.setblocking(False)
    return s


def garbage(rng):
    # Bytes inside and outside the cipher alphabet: whatever they unscramble to, no command.
    n = rng.randint(24, 120)
    return bytes(rng.choice(b"#%&()*<>[]{}|~!0123456789abcdefXYZ \x01\xff") for _ in range(n))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, default=2201)
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--rate", type=int, default=1000)
    ap.add_argument("--idle", type=int, default=250)
    ap.add_argument("--panel-sim", required=True)
    a = ap.parse_args()
    rng = random.Random(2201)
    sel = selectors.DefaultSelector()

    idle = set()
    reopened = 0
    for _ in range(a.idle):
        s = connect(a.port)
        idle.add(s)
        sel.register(s, selectors.EVENT_READ)
    flood = [connect(a.port) for _ in range(FLOOD_CONNECTIONS)]
    for s in flood:
        sel.register(s, selectors.EVENT_READ)

    sent = dropped = 0
    probes = []  # answer times in ms; None for no answer
    probe = None
    next_probe = time.monotonic()
    start = time.monotonic()
    period = 1.0 / a.rate
    next_send = start
    turn = 0
    while time.monotonic() - start < a.seconds:
        now = time.monotonic()
        # Sends that fell behind are made up at once: the rate holds over the run.
        while next_send <= now:
            i = turn % FLOOD_CONNECTIONS
            turn += 1
            try:
                flood[i].send(garbage(rng))
                sent += 1
            except (BlockingIOError, InterruptedError):
                dropped += 1
            except OSError:
                sel.unregister(flood[i])
                flood[i].close()
                flood[i] = connect(a.port)
                sel.register(flood[i], selectors.EVENT_READ)
                reopened += 1
            next_send += period
        if probe is None and now >= next_probe:
            probe = (now, subprocess.Popen(
                [a.panel_sim, "notify", "--to", f"127.0.0.1:{a.port}", "ntmy", "10.0.0.9"],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT))
            next_probe = now + 0.5
        if probe is not None and probe[1].poll() is not None:
            out = probe[1].stdout.read().decode(errors="replace")
            probes.append((time.monotonic() - probe[0]) * 1000 if "probing;" in out else None)
            probe = None
        for key, _ in sel.select(timeout=max(0.0, min(next_send, next_probe) - time.monotonic())):
            s = key.fileobj
            try:
                data = s.recv(4096)
            except (BlockingIOError, InterruptedError):
                continue
            except OSError:
                data = b""
            if data:
                continue
            # Closed by the listener (idle time-out or room for newer ones): keep the count.
            sel.unregister(s)
            s.close()
            fresh = connect(a.port)
            if s in idle:
                idle.discard(s)
                idle.add(fresh)
            else:
                flood[flood.index(s)] = fresh
            sel.register(fresh, selectors.EVENT_READ)
            reopened += 1
    if probe is not None:
        probe[1].wait()
        out = probe[1].stdout.read().decode(errors="replace")
        probes.append((time.monotonic() - probe[0]) * 1000 if "probing;" in out else None)
    answered = [p for p in probes if p is not None]
    print(f"sent={sent} dropped_sends={dropped} reopened={reopened} probes={len(probes)} "
          f"unanswered={len(probes) - len(answered)} "
          f"worst_ntmy_ms={max(answered) if answered else -1:.1f} "
          f"median_ntmy_ms={sorted(answered)[len(answered) // 2] if answered else -1:.1f}")


if __name__ == "__main__":
    main()
