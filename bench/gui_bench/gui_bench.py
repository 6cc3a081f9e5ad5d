#!/usr/bin/python3
"""Start-up time and memory of the program.

Copies the program into a fresh directory that already holds data.ini (a login
password) and data.edb, starts it under a private Xvfb display, and measures
  - the time from starting the process until its login window is mapped, and
  - the resident memory (VmRSS, and the peak VmHWM) once the login window is up.

usage: gui_bench.py PATH/TO/quillet [runs]
"""
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CIPHER_KEY = b"5830264917"
WINDOW_TIMEOUT_S = 10.0


def encipher(plain: bytes) -> str:
    tag = hashlib.md5(CIPHER_KEY).hexdigest()[2:11].upper()
    return "".join("%02X" % (b ^ 0x10) for b in plain) + tag


def prepare_program_dir(binary: str) -> str:
    directory = tempfile.mkdtemp(prefix="quillet_gui_bench_")
    shutil.copy2(binary, os.path.join(directory, "quillet"))
    with open(os.path.join(directory, "data.ini"), "wb") as ini:
        ini.write(("[password]\r\npassword=%s\r\n[reg]\r\nreg=1\r\n" % encipher(b"bench")).encode("ascii"))
    # The login window needs only an existing store; its content is read after login.
    with open(os.path.join(directory, "data.edb"), "wb") as store:
        store.write(b"WEDB")
    return directory


def start_xvfb():
    # The server picks a free display number itself and writes it to the pipe once it
    # accepts connections. -noreset keeps it up when its last client disconnects: without
    # it the server resets between runs and the next client finds no display.
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                               "-screen", "0", "1280x1024x24"],
                              pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    if not number.isdigit():
        server.kill()
        server.wait()
        sys.exit("no Xvfb display could be started")
    return server, ":" + number


def window_mapped(display: str, pid: int) -> bool:
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", "^Login$"],
                           env=dict(os.environ, DISPLAY=display), stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
    return found.returncode == 0 and found.stdout.strip() != b""


def memory_kib(pid: int) -> dict:
    figures = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                figures[key] = int(value.split()[0])
    return figures


def one_run(program: str, display: str) -> tuple:
    env = {key: value for key, value in os.environ.items() if not key.startswith("QT_")}
    env["DISPLAY"] = display
    started = time.monotonic()
    errors = tempfile.TemporaryFile()
    process = subprocess.Popen([program], env=env, cwd="/", stdout=subprocess.DEVNULL, stderr=errors)
    try:
        while not window_mapped(display, process.pid):
            if process.poll() is not None:
                errors.seek(0)
                sys.exit("quillet ended before showing its window (exit code %d)\n%s"
                         % (process.returncode, errors.read().decode(errors="replace")))
            if time.monotonic() - started > WINDOW_TIMEOUT_S:
                sys.exit("no login window within %.0f s" % WINDOW_TIMEOUT_S)
        to_window_ms = (time.monotonic() - started) * 1000
        time.sleep(0.5)  # let the first paint and any deferred start-up work settle
        memory = memory_kib(process.pid)
    finally:
        process.kill()
        process.wait()
    return to_window_ms, memory["VmRSS"] / 1024, memory["VmHWM"] / 1024


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    directory = prepare_program_dir(sys.argv[1])
    server, display = start_xvfb()
    try:
        one_run(os.path.join(directory, "quillet"), display)  # warm the file cache
        results = [one_run(os.path.join(directory, "quillet"), display) for _ in range(runs)]
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(directory, ignore_errors=True)
    times = [r[0] for r in results]
    rss = [r[1] for r in results]
    hwm = [r[2] for r in results]
    print("runs: %d (after one warm-up run); the window is polled with xdotool, ~5 ms resolution" % runs)
    print("time to login window: median %.0f ms, max %.0f ms (limit 200 ms)" % (statistics.median(times), max(times)))
    print("resident at login window: VmRSS median %.1f MB, max %.1f MB; peak VmHWM max %.1f MB (limit 60 MB)"
          % (statistics.median(rss), max(rss), max(hwm)))


if __name__ == "__main__":
    main()
