#!/usr/bin/python3
"""A small update-check service for development and tests, on 127.0.0.1 only.

    /usr/bin/python3 scripts/update_service.py [--exit-with-stdin] REPLIES.json [PORT]

Listens on PORT (a free one when omitted or 0) and prints the port as its first line
once it accepts connections, then one line per request ("GET /api/checkVersion?...").
Point the program at it with -DQUILLET_UPDATE_SERVICE=http://127.0.0.1:PORT/api.

REPLIES.json is read again for every request, so replies can change while it runs:
    {"checkVersion": "true|false|x|http://127.0.0.1/download|notes",
     "getExample": "remark|notice|visit",
     "hold": false}
With --exit-with-stdin it ends when its standard input closes (tests hold it open, so
a test process that dies takes its service along). A missing reply answers 404. While "hold" is true, requests are accepted and logged
but not answered; they are answered as soon as the file says false again.
"""
import argparse
import http.server
import json
import os
import sys
import threading
import time
import urllib.parse


def load_replies(path):
    try:
        with open(path, encoding="utf-8") as file:
            return json.load(file)
    except (OSError, ValueError):
        return {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    replies_path = ""

    def log_message(self, *args):
        pass

    def do_GET(self):
        print(f"GET {self.path}", flush=True)
        while load_replies(self.replies_path).get("hold"):
            time.sleep(0.02)  # the service itself waits for its file to change
        name = urllib.parse.urlsplit(self.path).path.removeprefix("/api/")
        reply = load_replies(self.replies_path).get(name)
        body = b"not found" if reply is None else reply.encode("utf-8")
        self.send_response(404 if reply is None else 200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass  # the client gave up waiting


def exit_when_stdin_closes():
    def watch():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()


def main():
    parser = argparse.ArgumentParser(description="Update-check service for development and tests.")
    parser.add_argument("--exit-with-stdin", action="store_true")
    parser.add_argument("replies")
    parser.add_argument("port", type=int, nargs="?", default=0)
    arguments = parser.parse_args()
    Handler.replies_path = arguments.replies
    server = http.server.ThreadingHTTPServer(("127.0.0.1", arguments.port), Handler)
    server.daemon_threads = True
    if arguments.exit_with_stdin:
        exit_when_stdin_closes()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
