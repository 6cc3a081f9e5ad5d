"""Runs one of the tests' Python scripts for a test program, tied to it by a TCP
connection rather than by pipes, so that a Windows test under Wine holds a Linux test
server exactly as a Linux test does.

  attached.py PORT SCRIPT [ARGUMENT ...]

Connects to 127.0.0.1:PORT, where the test listens, and runs SCRIPT with this Python.
What the script prints goes to the connection as it comes; when the script ends by
itself, a last line "[exit N]" gives its status. When the test closes its side, or dies,
the script is killed at once, and the connection closes only once the script has gone:
a test that stops a server knows that it is gone.
"""
import socket
import subprocess
import sys
import threading


def main():
    port, script, arguments = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    connection = socket.create_connection(("127.0.0.1", port))
    # Its standard input is held open: the test servers end by themselves when it closes
    # or this relay is gone, should the relay itself be killed.
    child = subprocess.Popen([sys.executable, "-u", script, *arguments], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE)

    def forward():
        try:
            for chunk in iter(lambda: child.stdout.read1(65536), b""):
                connection.sendall(chunk)
            connection.sendall(b"[exit %d]\n" % child.wait())
            connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the test has gone

    forwarder = threading.Thread(target=forward, daemon=True)
    forwarder.start()
    try:
        while connection.recv(4096):
            pass
    except OSError:
        pass
    child.kill()
    child.wait()
    forwarder.join()
    connection.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
