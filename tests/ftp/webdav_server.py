"""A real WebDAV server for the WebDAV client tests: Apache httpd (mod_dav, mod_dav_fs)
with its own configuration, on 127.0.0.1, one plain and one TLS virtual host, Basic
authentication.

Usage: webdav_server.py --dir DIR --cert PEMFILE --user U --password P [--ports PLAIN TLS]

DIR/www/dav is the DAV folder, served as /dav/ (kept between runs on one DIR, so a test
can restart the server, say with another certificate); DIR/run holds the configuration,
the password file and the logs. --ports reuses the ports of an earlier run. PEMFILE holds the TLS host's certificate and key.
Prints "READY <plain port> <tls port>" once both accept connections, and ends, with the
server, when the test that started it is gone. Run as root, the server runs as nobody
(it owns DIR/www and DIR/run), so that it can write its DAV folder as any user would.
"""
import argparse
import ctypes
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

MODULES = "/usr/lib/apache2/modules"
HTTPD = "/usr/sbin/apache2"
PR_SET_PDEATHSIG = 1
STARTUP_SECONDS = 20


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def accepting(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def configuration(run, www, plain_port, tls_port):
    modules = ["mpm_prefork", "authz_core", "authn_core", "authn_file", "auth_basic", "authz_user", "dav", "dav_fs",
               "ssl", "socache_shmcb"]
    lines = ["LoadModule %s_module %s/mod_%s.so" % (name, MODULES, name) for name in modules]
    lines += [
        'ServerRoot "%s"' % run,
        "ServerName 127.0.0.1",
        'PidFile "%s/httpd.pid"' % run,
        'DefaultRuntimeDir "%s"' % run,
        "Mutex file:%s default" % run,
        'ErrorLog "%s/error.log"' % run,
        "LogLevel warn",
        "Listen 127.0.0.1:%d" % plain_port,
        "Listen 127.0.0.1:%d" % tls_port,
        'DavLockDB "%s/davlock"' % run,
        "SSLSessionCache none",
        'DocumentRoot "%s"' % www,
        "<Directory />",
        "  AllowOverride None",
        "  Require all denied",
        "</Directory>",
        '<Directory "%s/dav">' % www,
        "  Dav On",
        "  AuthType Basic",
        "  AuthName dav",
        '  AuthUserFile "%s/users"' % run,
        "  Require valid-user",
        "</Directory>",
        "<VirtualHost 127.0.0.1:%d>" % plain_port,
        "</VirtualHost>",
        "<VirtualHost 127.0.0.1:%d>" % tls_port,
        "  SSLEngine on",
        '  SSLCertificateFile "%s/server.pem"' % run,
        '  SSLCertificateKeyFile "%s/server.pem"' % run,
        "</VirtualHost>",
    ]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--ports", nargs=2, type=int)
    options = parser.parse_args()

    run = os.path.join(options.dir, "run")
    www = os.path.join(options.dir, "www")
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(run)
    os.makedirs(os.path.join(www, "dav"), exist_ok=True)
    shutil.copyfile(options.cert, os.path.join(run, "server.pem"))
    os.chmod(os.path.join(run, "server.pem"), 0o600)
    subprocess.run(["htpasswd", "-b", "-c", "-B", os.path.join(run, "users"), options.user, options.password],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    plain_port, tls_port = options.ports if options.ports else (free_port(), free_port())
    with open(os.path.join(run, "httpd.conf"), "w") as conf:
        conf.write(configuration(run, www, plain_port, tls_port))

    as_nobody = os.getuid() == 0
    if as_nobody:
        nobody = pwd.getpwnam("nobody")
        os.chmod(options.dir, os.stat(options.dir).st_mode | 0o711)  # the server must reach its folders
        for top in (run, www):
            for parent, directories, files in os.walk(top):
                for name in [parent] + [os.path.join(parent, entry) for entry in directories + files]:
                    os.chown(name, nobody.pw_uid, nobody.pw_gid)
    libc = ctypes.CDLL(None, use_errno=True)

    def become_server():
        if as_nobody:
            os.setgroups([])
            os.setgid(nobody.pw_gid)
            os.setuid(nobody.pw_uid)
        # After the change of user, which clears it: the server dies with this script.
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)

    # One process (-X): nothing forks away from the death signal.
    server = subprocess.Popen([HTTPD, "-X", "-f", os.path.join(run, "httpd.conf")], preexec_fn=become_server,
                              stdin=subprocess.DEVNULL, env={"PATH": "/usr/sbin:/usr/bin:/bin", "LANG": "C"})
    deadline = time.monotonic() + STARTUP_SECONDS
    while not (accepting(plain_port) and accepting(tls_port)):
        if server.poll() is not None or time.monotonic() > deadline:
            server.kill()
            log = os.path.join(run, "error.log")
            sys.stderr.write(open(log).read() if os.path.exists(log) else "httpd did not start\n")
            return 1
        time.sleep(0.02)
    print("READY %d %d" % (plain_port, tls_port), flush=True)

    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        server.kill()

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
