#!/usr/bin/env python3
"""Small HTTP(S) server on loopback for the HTTP client and language download tests.

Prints its port on the first line of stdout, then serves until killed.
  --root DIR        serve the files below DIR for every other path
  --cert/--key      speak TLS with that certificate
Fixed answers:
  /length/<n>       200, n bytes with Content-Length
  /unsized/<n>      200, n bytes without Content-Length (connection closes)
  /empty            200, Content-Length 0
  /missing          404
  /denied           401 with a Basic challenge, whatever is sent
  /expired          402
  /empty-auth       401 with a Basic challenge unless the empty user and password come
  /unasked          200 only when no credentials were sent
  /echo?...         200, the request path with its query
  /redirect         302 to /length/10
  /hops/<n>         302 to /hops/<n-1>; /hops/0 answers 200 "arrived"
  /redirect-to?URL  302 to URL
  /slow/<s>/...     200 with a stated length of 1000, one byte every 0.2 s for s seconds
"""
import argparse
import http.server
import ssl
import sys
import time
import urllib.parse


def body_of(size):
    pattern = bytes(range(256))
    return (pattern * (size // 256 + 1))[:size]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    root = None

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", sized=True, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if sized:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def trickle(self, seconds):
        self.send_response(200)
        self.send_header("Content-Length", "1000")
        self.end_headers()
        end = time.monotonic() + seconds
        try:
            while time.monotonic() < end:
                self.wfile.write(b"x")
                self.wfile.flush()
                time.sleep(0.2)
        except OSError:
            pass

    def do_GET(self):
        path = self.path
        if path.startswith("/length/"):
            self.answer(200, body_of(int(path[8:])))
        elif path.startswith("/unsized/"):
            self.answer(200, body_of(int(path[9:])), sized=False)
        elif path == "/empty":
            self.answer(200)
        elif path == "/missing":
            self.answer(404, b"not here")
        elif path == "/denied":
            self.answer(401, b"no", headers=[("WWW-Authenticate", 'Basic realm="t"')])
        elif path == "/expired":
            self.answer(402, b"pay")
        elif path == "/empty-auth":
            if self.headers.get("Authorization") == "Basic Og==":
                self.answer(200, b"welcome")
            else:
                self.answer(401, b"who", headers=[("WWW-Authenticate", 'Basic realm="t"')])
        elif path == "/unasked":
            self.answer(400 if self.headers.get("Authorization") else 200, b"clean")
        elif path.startswith("/echo"):
            self.answer(200, path.encode())
        elif path == "/redirect":
            self.answer(302, headers=[("Location", "/length/10")])
        elif path.startswith("/hops/"):
            left = int(path[6:])
            if left == 0:
                self.answer(200, b"arrived")
            else:
                self.answer(302, headers=[("Location", "/hops/%d" % (left - 1))])
        elif path.startswith("/redirect-to?"):
            target = urllib.parse.unquote(path[len("/redirect-to?"):])
            self.answer(302, headers=[("Location", target)])
        elif path.startswith("/slow/"):
            self.trickle(float(path.split("/")[2]))
        elif self.root:
            parts = path.split("?")[0].split("/")
            if any(part.startswith(".") for part in parts):
                self.answer(404)
                return
            try:
                with open(self.root + "/".join(parts), "rb") as f:
                    self.answer(200, f.read())
            except OSError:
                self.answer(404)
        else:
            self.answer(404)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()
    Handler.root = args.root
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
