"""A local FTP server for the FTP tests.

Usage: ftp_server.py --root DIR --log FILE [--user U --password P] [--no-mlsd] [--stall-after N] [--silent]
                     [--die-after-receiving N] [--no-rename-over] [--refuse-rename-from TEXT]
                     [--mute-after-login] [--huge-listing] [--tls CERTFILE]

Listens on 127.0.0.1 on a free port and prints "READY <port> <pid>" once it accepts
connections, and exits when the test that started it is gone. Every connection, login and command is appended to the log file (and
flushed) before the server answers, so a client that has its reply can read the log.
Failed logins are answered at once. Paths travel as raw bytes (GBK names included).
--silent never greets a client. --no-mlsd hides MLSD so that clients fall back to LIST. --stall-after N makes every
download send N bytes and then hang, like a server that stopped mid-transfer. --die-after-receiving N kills the
server (SIGKILL) once an upload has written N bytes. --no-rename-over refuses to rename onto an existing file, as some
servers do; --refuse-rename-from TEXT refuses renames of files whose name contains TEXT.
--mute-after-login answers the login (and PWD, and TLS's PBSZ and PROT) and then nothing
more (QUIT included).
--huge-listing lists every directory as 100000 files, over 5 MB of listing.
--tls CERTFILE offers AUTH TLS with the certificate and key in CERTFILE; the log then
notes "CLEAR <command>" for USER and PASS that arrive on an unprotected connection.
"""
import argparse
import os
import signal
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


class StallingFile:
    def __init__(self, file, limit):
        self._file = file
        self._limit = limit
        self.name = file.name
        self.closed = False

    def read(self, size=-1):
        if self._limit <= 0:
            time.sleep(120)  # the whole server stops answering
            return b""
        data = self._file.read(min(size, self._limit) if size >= 0 else self._limit)
        self._limit -= len(data)
        return data

    def close(self):
        self.closed = True
        self._file.close()

    def seek(self, *args):
        return self._file.seek(*args)


class DyingFile:
    """Kills the whole server once `limit` bytes have been written through it."""

    def __init__(self, file, limit):
        self._file = file
        self._left = limit

    def write(self, data):
        self._file.write(data[:self._left])
        self._left -= len(data)
        if self._left <= 0:
            self._file.flush()
            os.kill(os.getpid(), signal.SIGKILL)
        return len(data)

    def __getattr__(self, name):
        return getattr(self._file, name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--stall-after", type=int, default=-1)
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--die-after-receiving", type=int, default=-1)
    parser.add_argument("--no-rename-over", action="store_true")
    parser.add_argument("--refuse-rename-from", default=None)
    parser.add_argument("--mute-after-login", action="store_true")
    parser.add_argument("--huge-listing", action="store_true")
    parser.add_argument("--tls")
    args = parser.parse_args()

    if args.silent:  # accepts connections (the kernel does) but never greets
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        print("READY %d %d" % (listener.getsockname()[1], os.getpid()), flush=True)
        time.sleep(120)
        return 0

    log = open(args.log, "a", encoding="utf-8", errors="surrogateescape", buffering=1)

    class ScriptedFS(AbstractedFS):
        def open(self, filename, mode):
            file = super().open(filename, mode)
            if "r" in mode and args.stall_after >= 0:
                return StallingFile(file, args.stall_after)
            if "w" in mode and args.die_after_receiving >= 0:
                return DyingFile(file, args.die_after_receiving)
            return file

        def rename(self, src, dst):
            if args.no_rename_over and os.path.exists(dst):
                raise OSError(17, "File exists")
            if args.refuse_rename_from is not None and args.refuse_rename_from in os.path.basename(src):
                raise OSError(1, "Operation not permitted")
            super().rename(src, dst)

        def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
            if args.huge_listing:
                for n in range(100000):
                    yield ("type=file;size=1;modify=20210101000000; file%06d.txt\r\n" % n).encode("utf8")
                return
            yield from super().format_mlsx(basedir, listing, perms, facts, ignore_err)

    base = FTPHandler
    if args.tls:
        class TlsDataHandler(TLS_DTPHandler):
            def readable(self):
                # libcurl starts a protected data connection's handshake before it
                # sends the transfer command; pyftpdlib would take the early bytes for
                # a hang-up and close the connection.
                if not self.receive and not self._initialized:
                    return self._ssl_accepting or self._ssl_want_read
                return super().readable()

        class TlsHandler(TLS_FTPHandler):
            certfile = args.tls
            dtp_handler = TlsDataHandler

            @classmethod
            def get_ssl_context(cls):
                if cls.ssl_context is None:
                    # Clients resume the control connection's session on the data
                    # connections, which OpenSSL refuses without a session id context.
                    super().get_ssl_context().set_session_id(b"quillet-tests")
                return cls.ssl_context

        base = TlsHandler

    class LoggingHandler(base):
        auth_failed_timeout = 0
        unicode_errors = "surrogateescape"
        use_sendfile = False
        abstracted_fs = ScriptedFS

        def on_connect(self):
            log.write("CONNECT\n")

        def pre_process_command(self, line, cmd, arg):
            shown = "PASS ******" if cmd == "PASS" else line
            log.write("CMD %s\n" % shown)
            if args.tls and cmd in ("USER", "PASS") and not getattr(self, "_ssl_established", False):
                log.write("CLEAR %s\n" % cmd)
            if args.mute_after_login and self.authenticated and cmd not in ("PWD", "PBSZ", "PROT"):
                return
            super().pre_process_command(line, cmd, arg)

        def handle_auth_success(self, home, password, msg_login):
            log.write("LOGIN %s\n" % self.username)
            super().handle_auth_success(home, password, msg_login)

    if args.no_mlsd:
        LoggingHandler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLSD", "MLST")}

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    authorizer.add_anonymous(args.root, perm="elradfmwMT")
    LoggingHandler.authorizer = authorizer

    server = FTPServer(("127.0.0.1", 0), LoggingHandler)
    parent = os.getppid()

    def exit_when_orphaned():
        while os.getppid() == parent:
            time.sleep(0.5)
        os._exit(0)

    threading.Thread(target=exit_when_orphaned, daemon=True).start()
    print("READY %d %d" % (server.socket.getsockname()[1], os.getpid()), flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    sys.exit(main())
