"""HTTP server for the HTTP client tests, on 127.0.0.1 only.

Prints the port it listens on as its first line once it accepts connections.
With --tls DIR it makes the test certificates in DIR (see tests/support) and serves
https with DIR/trusted.pem.

  /echo               the request line, headers and body, as received, as the body
  /set-cookie?c=V...  one "Set-Cookie: V" line per c (header name as given by ?name=)
  /redirect?to=URL    302 with "Location: URL"
  /page?declare=CS&encoding=ENC
                      an HTML page declaring charset CS, its text encoded in ENC,
                      followed by the byte FF (invalid in GBK)
  /hold               reads the request and never answers
  /big?mb=N           a reply of N MiB (sent as long as the client reads)
  /dribble            a reply of 100 bytes, one byte every 0.2 s
"""
import http.server
import os
import ssl
import sys
import time
import threading
import urllib.parse

PAGE_TEXT = "中文页面"


def exit_when_stdin_closes():
    """The test that started the server holds its standard input; when that process
    ends, however it ends, the server goes too."""
    def watch():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        if url.path == "/echo":
            received = self.requestline.encode("latin-1") + b"\r\n"
            received += b"".join(f"{k}: {v}\r\n".encode("latin-1") for k, v in self.headers.raw_items())
            self.reply(200, received + b"\r\n" + body, [("Content-Type", "text/plain")])
        elif url.path == "/set-cookie":
            name = query.get("name", ["Set-Cookie"])[0]
            self.reply(200, b"cookies", [(name, value) for value in query.get("c", [])])
        elif url.path == "/redirect":
            self.reply(302, b"moved", [("Location", query["to"][0])])
        elif url.path == "/page":
            declared = query["declare"][0]
            page = f'<html><head><meta http-equiv="Content-Type" content="text/html; charset={declared}">'
            page += f"</head><body>{PAGE_TEXT}</body></html>"
            self.reply(200, page.encode(query["encoding"][0]) + b"\xff", [("Content-Type", "text/html")])
        elif url.path == "/big":
            size = int(query.get("mb", ["100"])[0]) * 1024 * 1024
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            chunk = b"x" * 65536
            try:
                for _ in range(size // len(chunk)):
                    self.wfile.write(chunk)
            except OSError:
                pass  # the client stopped reading
            self.close_connection = True
        elif url.path == "/dribble":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            try:
                for _ in range(100):
                    self.wfile.write(b"d")
                    self.wfile.flush()
                    time.sleep(0.2)
            except OSError:
                pass
            self.close_connection = True
        elif url.path == "/hold":
            self.close_connection = True
            self.rfile.read(1)  # until the client gives up and closes
        else:
            self.reply(404, b"not found")

    do_GET = do_POST = do_PUT = do_HEAD = handle_any


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if len(sys.argv) == 3 and sys.argv[1] == "--tls":
        sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
        import test_certificates
        test_certificates.make(sys.argv[2])
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(sys.argv[2], "trusted.pem"))
        server.socket = context.wrap_socket(server.socket, server_side=True)
    exit_when_stdin_closes()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
