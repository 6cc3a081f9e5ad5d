#!/usr/bin/env python3
"""Kills `edb passwd` and `edb purge` with SIGKILL at random moments and checks the store.

Usage: crash_check.py EDB [RUNS] [RECORDS]   (12 runs of each on 12,000 records by default)

Each run copies a scrambled credential store (password "old"; for the purge, every third
record marked deleted), starts the command on it, kills it after a random delay within
the time the command takes (or just past it), and then reads the store with `edb dump`: it must open with
the old or the new password and hold every live record exactly once, in store order,
with its serial. Prints one line per run and a summary; exits 1 on any failure.
"""
import json
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

FIELDS = [("ID", 3, 0)] + [(name, 10, 255) for name in ("平台", "账号", "密码", "网址", "备注")]
RECORD_SIZE = 4 + 4 + 5 * 255


def plain_store(path, records, deleted):
    """A store without password: header, descriptors, records with serials 1..records."""
    header = bytearray(112)
    header[0:4] = b"WEDB"
    struct.pack_into("<idiii", header, 4, 0x00010000, 44474.76592592592, records, records + 1, RECORD_SIZE)
    body = bytearray(struct.pack("<i", len(FIELDS)))
    offset = 4
    for name, kind, width in FIELDS:
        descriptor = bytearray(72)
        encoded = name.encode("gbk")
        descriptor[0 : len(encoded)] = encoded
        struct.pack_into("<iii", descriptor, 20, kind, offset, width)
        body += descriptor
        offset += 4 if kind == 3 else width
    rows = bytearray()
    for serial in range(1, records + 1):
        record = bytearray(RECORD_SIZE)
        struct.pack_into("<ii", record, 0, -serial if deleted(serial) else serial, serial)
        for i, text in enumerate(("平台 %d" % serial, "account%d" % serial, "c%040x" % serial,
                                  "https://example.com/%d" % serial, "备注 %d" % serial)):
            encoded = text.encode("gbk")
            record[8 + 255 * i : 8 + 255 * i + len(encoded)] = encoded
        rows += record
    with open(path, "wb") as out:
        out.write(header + body + rows)


def edb(binary, *args):
    return subprocess.run([binary, *args], capture_output=True, text=True)


def dump(binary, path, passwords):
    """The records as (serial, deleted, ID) under the first password that opens, or None."""
    for password in passwords:
        result = edb(binary, "dump", path, "-p", password)
        if result.returncode == 0:
            rows = [json.loads(line) for line in result.stdout.splitlines()]
            return password, [(r["serial"], r["deleted"] in (True, "true"), r["fields"]["ID"]) for r in rows]
    return None, None


def timed(binary, args):
    start = time.monotonic()
    result = edb(binary, *args)
    if result.returncode != 0:
        sys.exit("crash_check: edb %s failed: %s" % (" ".join(args), result.stderr))
    return time.monotonic() - start


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    binary = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 12
    records = int(sys.argv[3]) if len(sys.argv) > 3 else 12000
    work = tempfile.mkdtemp(prefix="crash_check.")
    failures = 0
    try:
        kinds = {
            "passwd": (lambda serial: False, ["passwd", "-p", "old", "new"], ["old", "new"]),
            "purge": (lambda serial: serial % 3 == 0, ["purge", "-p", "old"], ["old"]),
        }
        for kind, (deleted, command, passwords) in kinds.items():
            template = os.path.join(work, kind + ".template.edb")
            plain_store(template, records, deleted)
            timed(binary, ["passwd", template, "old"])
            live = [(s, False, s) for s in range(1, records + 1) if not deleted(s)]
            trial = os.path.join(work, "trial.edb")
            shutil.copyfile(template, trial)
            duration = timed(binary, [command[0], trial] + command[1:])
            killed = 0
            for run in range(1, runs + 1):
                directory = os.path.join(work, "%s-%d" % (kind, run))
                os.mkdir(directory)
                store = os.path.join(directory, "data.edb")
                shutil.copyfile(template, store)
                # A little past the command's own time too, so that some runs see it end.
                delay = random.uniform(0, duration * 1.1)
                process = subprocess.Popen([binary, command[0], store] + command[1:],
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(delay)
                process.send_signal(signal.SIGKILL)
                status = process.wait()
                killed += status == -signal.SIGKILL
                used, rows = dump(binary, store, passwords)
                found = rows if rows is None else [r for r in rows if not r[1]]
                ok = found == live
                failures += not ok
                print("%-6s run %2d: killed after %5.1f ms (%s), opens with %s, %s live records: %s" % (
                    kind, run, delay * 1000, "killed" if status == -signal.SIGKILL else "had finished",
                    repr(used), "no" if rows is None else len(found), "ok" if ok else "FAILED"))
            print("%s: %d runs, %d killed part-way, command alone %.1f ms" % (kind, runs, killed, duration * 1000))
    finally:
        shutil.rmtree(work)
    print("all stores whole" if failures == 0 else "%d stores FAILED" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
