"""An HTTPS (or plain HTTP) server for tests, serving one folder on loopback.

Usage: https_server.py --root DIR [--address 127.0.0.1] [--port 0]
                       [--cert PEM --key PEM] [--user NAME --password TEXT]

Without --cert it speaks plain HTTP. Prints "<port>" on standard output once
it listens; logs to standard error. Files of the folder are served by path;
paths under "/_/" misbehave as their first part says, the rest of the path
naming a file of the folder where one is needed:

  /_/status/CODE            answers CODE with a small error page
  /_/redirect/CODE?to=URL   answers CODE (301, 302, 303, 307, 308) with Location URL
  /_/stall-headers/...      accepts the request and sends nothing
  /_/stall/FILE             sends the headers and half the file, then nothing
  /_/short/FILE             promises the whole file, sends half and closes
  /_/nolength/FILE          sends the file with no Content-Length, then closes
  /_/auth/FILE              serves the file only with the Basic credentials
                            of --user and --password, else answers 401
Every request line, and its Authorization header when it has one, is
appended to requests.log beside the folder.
"""
import argparse
import base64
import http.server
import os
import ssl
import sys
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."
    credentials = None
    log_path = None
    log_lock = threading.Lock()

    def log_message(self, fmt, *args):
        sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    def record(self):
        line = self.requestline
        authorization = self.headers.get("Authorization")
        if authorization:
            line += " | " + authorization
        with self.log_lock, open(self.log_path, "a", encoding="utf-8") as log:
            log.write(line + "\n")

    def file_bytes(self, relative):
        path = os.path.realpath(os.path.join(self.root, urllib.parse.unquote(relative).lstrip("/")))
        if not path.startswith(os.path.realpath(self.root) + os.sep) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def send_page(self, code, body, extra=(), length=True):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream" if code < 300 else "text/html")
        for name, value in extra:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def not_found(self):
        self.send_page(404, b"<html><body>404 Not Found</body></html>")

    def hold(self):
        while True:
            time.sleep(3600)

    def do_GET(self):
        self.record()
        url = urllib.parse.urlsplit(self.path)
        parts = url.path.split("/", 3)  # "", "_", behaviour, rest
        if len(parts) < 3 or parts[1] != "_":
            body = self.file_bytes(url.path)
            return self.not_found() if body is None else self.send_page(200, body)
        behaviour = parts[2]
        rest = parts[3] if len(parts) > 3 else ""
        if behaviour == "status":
            return self.send_page(int(rest), ("<html><body>error %s</body></html>" % rest).encode())
        if behaviour == "redirect":
            target = urllib.parse.parse_qs(url.query).get("to", [""])[0]
            return self.send_page(int(rest), b"moved", extra=[("Location", target)])
        if behaviour == "stall-headers":
            return self.hold()
        if behaviour == "auth":
            expected = "Basic " + base64.b64encode(self.credentials.encode()).decode() if self.credentials else None
            if self.headers.get("Authorization") != expected:
                return self.send_page(401, b"<html><body>401</body></html>",
                                      extra=[("WWW-Authenticate", 'Basic realm="quarnel"')])
        body = self.file_bytes(rest)
        if body is None:
            return self.not_found()
        if behaviour == "auth":
            return self.send_page(200, body)
        if behaviour == "nolength":
            return self.send_page(200, body, length=False)
        if behaviour in ("stall", "short"):
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            if behaviour == "stall":
                return self.hold()
            self.close_connection = True
            return None
        return self.not_found()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    args = parser.parse_args()

    Handler.root = args.root
    Handler.log_path = os.path.join(os.path.dirname(os.path.abspath(args.root)), "requests.log")
    if args.user is not None:
        Handler.credentials = args.user + ":" + args.password
    server = http.server.ThreadingHTTPServer((args.address, args.port), Handler)
    server.daemon_threads = True
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.2)


if __name__ == "__main__":
    main()
