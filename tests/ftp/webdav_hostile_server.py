"""A WebDAV server that misbehaves, for the WebDAV client tests, on 127.0.0.1 (plain
http, no authentication). Prints its port as its first line once it accepts connections.

A PROPFIND with Depth: 0 is answered with a valid reply for the folder asked about, so
that a client connects; with Depth: 1, by the folder's first path component:
  /dotdot/     an href with ".." in it
  /otherhost/  an absolute href to another host
  /huge/       10 MB of otherwise valid XML
  /invalid/    XML that is not well-formed
  /away/       (any depth) a redirect to the same path under another host name
  /hold/       (any depth) reads the request, prints HOLD and never answers
"""
import http.server
import os
import sys
import threading
import time


def exit_when_stdin_closes():
    def watch():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()


def response(href, collection=True):
    kind = "<d:collection/>" if collection else ""
    return ("<d:response><d:href>%s</d:href><d:propstat><d:prop><d:resourcetype>%s</d:resourcetype></d:prop>"
            "<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>" % (href, kind))


def multistatus(body):
    return '<?xml version="1.0"?><d:multistatus xmlns:d="DAV:">' + body + "</d:multistatus>"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body, headers=()):
        data = body.encode()
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_PROPFIND(self):
        length = int(self.headers.get("Content-Length", "0"))
        self.rfile.read(length)
        kind = self.path.strip("/").split("/")[0]
        if kind == "hold":
            print("HOLD", flush=True)
            time.sleep(3600)
        if kind == "away":
            port = self.server.server_address[1]
            self.reply(301, "", [("Location", "http://localhost:%d%s" % (port, self.path))])
            return
        if self.headers.get("Depth") == "0":
            self.reply(207, multistatus(response(self.path)))
            return
        folder = self.path if self.path.endswith("/") else self.path + "/"
        if kind == "dotdot":
            body = multistatus(response(folder) + response(folder + "../../etc/passwd", False))
        elif kind == "otherhost":
            body = multistatus(response(folder) + response("http://elsewhere.example" + folder + "x", False))
        elif kind == "huge":
            one = response(folder + "f", False)
            body = multistatus(one * (10 * 1024 * 1024 // len(one) + 1))
        else:
            body = multistatus(response(folder) + "<d:response><d:href>")
        self.reply(207, body)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    exit_when_stdin_closes()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
