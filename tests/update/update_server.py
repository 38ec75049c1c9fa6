#!/usr/bin/python3
"""Loopback HTTP server for the update tests.

Serves the files under --root and, for the tests, a few special paths:
  /redirect/<n>/<path>   answers 302 n times, then serves /<path>
  /stall/<path>          sends the headers and the first bytes of <path>, then goes silent
  /slow/<path>           sends <path> in eight pieces, 150 ms apart
  /status/<code>         answers with that status and a short body
A request in absolute form (GET http://host/path, as sent to a proxy) is served by its path.
Every request is appended to --log as "GET <path>" or "PROXY <path>".

Prints "PORT <n>" once it listens on 127.0.0.1. Ends when its standard input closes
(the test that started it went away), on SIGTERM, or after --lifetime seconds.
"""

import argparse
import functools
import http.server
import os
import sys
import threading
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_path = None
    log_lock = threading.Lock()

    def log_message(self, format, *args):  # keep stderr quiet
        pass

    def record(self, kind, path):
        with self.log_lock, open(self.log_path, "a", encoding="utf-8") as f:
            f.write(f"{kind} {path}\n")

    def send_bytes(self, code, body, content_type="application/octet-stream", extra=None):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def file_bytes(self, path):
        full = os.path.join(self.directory, urllib.parse.unquote(path).lstrip("/"))
        full = os.path.realpath(full)
        if not full.startswith(os.path.realpath(self.directory) + os.sep) or not os.path.isfile(full):
            return None
        with open(full, "rb") as f:
            return f.read()

    def do_GET(self):
        kind = "GET"
        if self.path.startswith("http://"):
            kind = "PROXY"
            self.path = "/" + self.path.split("/", 3)[3] if self.path.count("/") >= 3 else "/"
        self.record(kind, self.path)
        parts = self.path.split("/")
        if len(parts) >= 4 and parts[1] == "redirect":
            n = int(parts[2])
            rest = "/".join(parts[3:])
            location = f"/redirect/{n - 1}/{rest}" if n > 1 else f"/{rest}"
            self.send_bytes(302, b"moved", "text/plain", {"Location": location})
            return
        if len(parts) >= 3 and parts[1] == "status":
            code = int(parts[2])
            self.send_bytes(code, b"status page " + parts[2].encode(), "text/plain")
            return
        if len(parts) >= 3 and parts[1] in ("stall", "slow"):
            data = self.file_bytes("/" + "/".join(parts[2:]))
            if data is None:
                self.send_bytes(404, b"not found", "text/plain")
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if parts[1] == "stall":
                self.wfile.write(data[:16])
                self.wfile.flush()
                time.sleep(60)
                return
            step = max(1, (len(data) + 7) // 8)
            for i in range(0, len(data), step):
                self.wfile.write(data[i:i + step])
                self.wfile.flush()
                time.sleep(0.15)
            return
        data = self.file_bytes(self.path)
        if data is None:
            self.send_bytes(404, b"<html>not found</html>", "text/html")
            return
        self.send_bytes(200, data)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that hangs up early (after a redirect, on a time-out) is expected here.
        if isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            return
        super().handle_error(request, client_address)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--lifetime", type=float, default=600)
    args = ap.parse_args()

    Handler.log_path = args.log
    handler = functools.partial(Handler, directory=args.root)
    server = Server(("127.0.0.1", 0), handler)
    print(f"PORT {server.server_address[1]}", flush=True)

    def watch_stdin():
        sys.stdin.read()
        server.shutdown()

    threading.Thread(target=watch_stdin, daemon=True).start()
    threading.Timer(args.lifetime, server.shutdown).start()
    try:
        server.serve_forever()
    finally:
        server.server_close()
        os._exit(0)


if __name__ == "__main__":
    main()
