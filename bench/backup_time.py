#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times `ondo-flash read-ee` against the simulated unit at the real line rate (--pace).

    bench/backup_time.py BUILD_DIR [RUNS]      (default: 3 runs each of 512 and 2,048 bytes)

For each run: ondo-unit-sim --pace with seeded EEPROM bytes, then
`ondo-flash read-ee --port LINK --ee-size N --out FILE --progress=json`. The JSON lines are
time-stamped as they arrive: the reads run from the log line "Reading N bytes of EE Prom." to the
progress event that reports address N of N. A run counts only when it exits 0 and its file holds
exactly the unit's bytes.

Floors, for N addresses: each read is "a" + four digits + CR (6 bytes out), the echo of those six
and the reply LF "A 00DD" CR LF (9 bytes back). Byte floor: all 21 bytes one after the other,
21 N / 1,920 s. Exchange floor: the echo overlaps the command on a full-duplex line, so only the
CR's echo and the reply follow it, 16 N / 1,920 s.
"""
import json
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

LINE_BYTES_PER_SECOND = 1920.0


def backup_bytes(path):
    data = {}
    for line in open(path, encoding="ascii"):
        if line.startswith("E:"):
            count, address = int(line[2:4], 16), int(line[4:8], 16)
            for k in range(count):
                data[address + k] = int(line[10 + 2 * k:12 + 2 * k], 16)
    return bytes(data[a] for a in range(len(data)))


def one_run(build, unit, size, seed):
    folder = tempfile.mkdtemp()
    start = bytes(random.Random(seed).randrange(256) for _ in range(size))
    init = os.path.join(folder, "init.eeprom")
    open(init, "wb").write(start)
    link = os.path.join(folder, "unit")
    sim = subprocess.Popen([build + "/sim/ondo-unit-sim", "--pace", "--type", unit, "--ee-init",
                            init, "--link", link], stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()  # the device path: the link is in place
    out = os.path.join(folder, "backup.HXF")
    began = time.monotonic()
    flash = subprocess.Popen([build + "/src/app/ondo-flash", "read-ee", "--port", link, "--out", out,
                              "--ee-size", str(size), "--progress=json"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    reads_from = reads_to = None
    for line in flash.stdout:
        now = time.monotonic()
        event = json.loads(line)
        if event["event"] == "log" and event["text"].startswith("Reading"):
            reads_from = now
        if event["event"] == "progress" and event.get("address") == size:
            reads_to = now
    flash.wait()
    wall = time.monotonic() - began
    sim.terminate()
    sim.wait()
    if flash.returncode != 0 or backup_bytes(out) != start:
        return None
    return wall, reads_to - reads_from


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print("load average", os.getloadavg())
    print("| bytes | wall s | reads s | exchange floor s | reads / exchange floor | byte floor s |")
    print("|---|---|---|---|---|---|")
    for unit, size in (("AlaR", 512), ("XobS", 2048)):
        results = [r for r in (one_run(build, unit, size, seed) for seed in range(runs)) if r]
        if not results:
            print(f"| {size} | no good run | | | | |")
            continue
        wall = statistics.median(r[0] for r in results)
        reads = statistics.median(r[1] for r in results)
        exchange = 16 * size / LINE_BYTES_PER_SECOND
        print(f"| {size} | {wall:.2f} | {reads:.2f} | {exchange:.2f} | {reads / exchange:.3f} | "
              f"{21 * size / LINE_BYTES_PER_SECOND:.2f} |")
    print("load average", os.getloadavg())


if __name__ == "__main__":
    main()
