#!/usr/bin/env python3
"""HTTP server for the online tests, on 127.0.0.1 and a port the system chooses.

usage: online_server.py DOCROOT LIFETIME_SECONDS
Prints the port on the first line of standard output, then serves until the lifetime ends or
standard input closes (the test process ended).

/files/PATH          a file of DOCROOT, with Content-Length
/newversion/..., /download1/...   files of DOCROOT under the same paths
/slow/PATH?kbps=N    a file of DOCROOT sent in 16 KiB pieces at about N KiB/s; the number of
                     slow transfers running at once is counted
/stats               JSON: highest number of slow transfers that ran at once, and requests seen
/redirect/N          a chain of N redirects ending in "arrived"
/loop/N              redirects forever in a loop of 25 addresses
/setcookie, /checkcookie   sets a cookie; echoes the Cookie header back
/nolength            a body without Content-Length, ended by closing the connection
/stall               announces 100000 bytes, sends 1000, then sends nothing
/drop                announces 100000 bytes, sends 1000, then closes the connection
/headers             echoes the request headers
Hostile answers:
/endless             a body without Content-Length that never ends (64 KiB pieces, no pause)
/huge                announces a 10 GiB body and sends 64 KiB pieces
/trickle?every=S     announces 100000 bytes, then sends one byte every S seconds
/drip?kbps=N         a body without end at about N KiB/s (fast enough for any stall rule)
/goto?to=URL         redirects to URL, whatever it is
/auth                401 with a basic-authentication challenge, as a site asks for a password
"""
import json
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit, parse_qs, unquote

DOCROOT = os.path.abspath(sys.argv[1])
LIFETIME = float(sys.argv[2])
lock = threading.Lock()
stats = {"running": 0, "max_running": 0, "requests": []}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, body, ctype="text/plain; charset=utf-8", status=200, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, where):
        self.send_response(302)
        self.send_header("Location", where)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def local_file(self, rel):
        path = os.path.abspath(os.path.join(DOCROOT, unquote(rel).lstrip("/")))
        if not path.startswith(DOCROOT + os.sep) or not os.path.isfile(path):
            return None
        return path

    def do_GET(self):
        parts = urlsplit(self.path)
        path, query = parts.path, parse_qs(parts.query)
        with lock:
            stats["requests"].append(path)
        if path.startswith("/files/"):
            f = self.local_file(path[len("/files/"):])
            if f is None:
                return self.send_body(b"not found", status=404)
            with open(f, "rb") as fh:
                return self.send_body(fh.read(), "application/octet-stream")
        if path.startswith("/newversion/") or path.startswith("/download1/"):
            f = self.local_file(path)
            if f is None:
                return self.send_body(b"not found", status=404)
            with open(f, "rb") as fh:
                return self.send_body(fh.read(), "application/octet-stream")
        if path.startswith("/slow/"):
            return self.slow(path[len("/slow/"):], int(query.get("kbps", ["256"])[0]))
        if path == "/stats":
            with lock:
                body = json.dumps({"max_running": stats["max_running"], "requests": stats["requests"]})
            return self.send_body(body.encode(), "application/json")
        if path.startswith("/redirect/"):
            n = int(path.rsplit("/", 1)[1])
            return self.redirect("/redirect/%d" % (n - 1)) if n > 0 else self.send_body(b"arrived")
        if path.startswith("/loop/"):
            n = int(path.rsplit("/", 1)[1])
            return self.redirect("/loop/%d" % ((n + 1) % 25))
        if path == "/setcookie":
            return self.send_body(b"set", headers=[("Set-Cookie", "session=abc123; Path=/")])
        if path == "/checkcookie":
            return self.send_body(("cookie:" + self.headers.get("Cookie", "")).encode())
        if path == "/headers":
            return self.send_body(str(self.headers).encode())
        if path == "/nolength":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            self.end_headers()
            for i in range(10):
                self.wfile.write(bytes([i]) * 5000)
                self.wfile.flush()
                time.sleep(0.02)
            self.close_connection = True
            return
        if path in ("/stall", "/drop"):
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"x" * 1000)
            self.wfile.flush()
            if path == "/stall":
                time.sleep(min(20, LIFETIME))
            self.close_connection = True
            return
        if path in ("/endless", "/huge", "/trickle", "/drip"):
            return self.hostile_body(path, query)
        if path == "/goto":
            return self.redirect(query.get("to", ["/"])[0])
        if path == "/auth":
            return self.send_body(b"who are you?", status=401,
                                  headers=[("WWW-Authenticate", 'Basic realm="members"')])
        self.send_body(b"not found", status=404)

    def hostile_body(self, path, query):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if path == "/huge":
            self.send_header("Content-Length", str(10 * 1024 ** 3))
        elif path == "/trickle":
            self.send_header("Content-Length", "100000")
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        piece = b"e" * 65536
        end = time.time() + min(60, LIFETIME)
        try:
            while time.time() < end:
                if path == "/trickle":
                    self.wfile.write(b"t")
                    self.wfile.flush()
                    time.sleep(float(query.get("every", ["1"])[0]))
                elif path == "/drip":
                    self.wfile.write(piece[:1024])
                    self.wfile.flush()
                    time.sleep(1.0 / float(query.get("kbps", ["4"])[0]))
                else:
                    self.wfile.write(piece)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def slow(self, rel, kbps):
        f = self.local_file(rel)
        if f is None:
            return self.send_body(b"not found", status=404)
        with lock:
            stats["running"] += 1
            stats["max_running"] = max(stats["max_running"], stats["running"])
        running = True

        def ended():
            nonlocal running
            if running:
                running = False
                with lock:
                    stats["running"] -= 1

        try:
            with open(f, "rb") as fh:
                data = fh.read()
            self.send_response(200)
            self.send_header("Content-Type", "video/x-flv")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            piece = 16 * 1024
            for i in range(0, len(data), piece):
                time.sleep(piece / 1024.0 / kbps)
                if i + piece >= len(data):
                    # Counted as ended before the client can have the last byte, so a client
                    # that starts its next transfer on completion is never counted twice.
                    ended()
                self.wfile.write(data[i:i + piece])
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            ended()


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(server.server_address[1], flush=True)
    end = time.time() + LIFETIME

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    while time.time() < end:
        time.sleep(0.2)
    os._exit(0)


if __name__ == "__main__":
    main()
