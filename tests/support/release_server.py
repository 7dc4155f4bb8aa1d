#!/usr/bin/env python3
"""A release server for tests and the demo: serves one folder on 127.0.0.1 with byte ranges.

GET answers 200 with the file, or 206 for "Range: bytes=N-" (and "bytes=N-M"). Every request is
recorded (path, Range header, User-Agent). A test can script misbehaviour per path and request
number through control URLs under /_control/ (GET only, so any HTTP client can drive it):

  /_control/plan?path=/f.exe&actions=drop:3145728,ok   actions for the next requests of that path
  /_control/log?path=/f.exe                             one line per request: path<TAB>range<TAB>agent
  /_control/reset                                       forget plans and the log
  /_control/make?path=/f.exe&size=N&seed=S              write a file of deterministic bytes; answers
                                                        its SHA-512 in base64 (&text=1: ASCII lines)
  /_control/write?path=/latest.yml&text=...             write a small text file (UTF-8)
  /_control/delete?path=/f.exe                          remove a served file
  /_control/chaos?path=/f.exe&seed=S                    after its plan, each request of that path
                                                        draws its action from a generator seeded
                                                        with S (see CHAOS); until reset

Actions, used one per request in order, then "ok" for ever after:
  ok            serve normally
  drop:N        send the headers of a normal answer, then N bytes of the body, then close
  status:N      answer status N with a short body
  416           answer 416 Range Not Satisfiable
  norange       ignore a Range header: answer 200 with the whole file
  stall:MS      wait MS milliseconds, then serve normally
  stallbody:N:MS  send N bytes of the body, wait MS milliseconds, then the rest
  portal        answer 200 with a captive portal's sign-in page instead of the file, as a hotel
                network does for every request until the user signs in
  portal:N      the same page, padded with spaces to exactly N bytes (at least the page's length)
  slow:BPS      send the body at about BPS bytes a second (the demo's visible download)
  endless       answer 200 with no length and the file's bytes over and over, never ending
  date:S        serve normally with a Date header S seconds from the real time (negative: in the
                past), as a server whose clock is off sends it
  date:S:AGE    the same, and "Age: AGE", as a cache sends its stored copy (AGE as given)

CHAOS draws, by weight: ok, drop:N, status:500, 416, norange, stall:MS and stallbody:N:MS, with
N below a quarter of the file's size and MS from 10 to 60 (brief: shorter than any receive timeout). The same
seed and the same sequence of requests give the same actions.

Start: release_server.py --root DIR [--port 0] [--port-file FILE] [--slow BPS] [--no-control].
With port 0 a free port is chosen; it is printed as "port N" on the first line of output and
written to --port-file. --slow BPS makes "slow:BPS" the action of every request that has no plan
(make run's visible download); --no-control serves the folder alone, with no control URLs that
could change it (make try serves a publisher's release).
"""

import argparse
import base64
import hashlib
import http.server
import os
import random
import re
import socketserver
import sys
import threading
import time
import urllib.parse

CHUNK = 65536

PORTAL_PAGE = (
    b"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    b"<title>Sign in to Guest Wi-Fi</title>\n</head>\n<body>\n<h1>Welcome to Guest Wi-Fi</h1>\n"
    b"<form method=\"post\" action=\"/login\">\n"
    b"<label>Room number: <input name=\"room\"></label>\n"
    b"<label><input type=\"checkbox\" name=\"terms\"> I accept the terms of use</label>\n"
    b"<button>Connect</button>\n</form>\n</body>\n</html>\n")

# (weight, kind) of the chaos actions.
CHAOS = [(1, "ok"), (4, "drop"), (3, "status:500"), (1, "416"), (1, "norange"), (1, "stall"),
         (1, "stallbody")]


class State:
    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.lock = threading.Lock()
        self.plans = {}  # path -> list of remaining actions
        self.chaos = {}  # path -> random.Random drawing its actions once the plan is used up
        self.log = []  # (path, range, agent)
        self.default = "ok"  # the action of a request with no plan
        self.controlled = True  # whether /_control/ URLs are answered

    def next_action(self, path):
        with self.lock:
            plan = self.plans.get(path)
            if plan:
                return plan.pop(0)
            rng = self.chaos.get(path)
            if rng:
                return chaos_action(rng, self.local_file(path))
            return self.default

    def local_file(self, url_path):
        relative = urllib.parse.unquote(url_path).lstrip("/")
        full = os.path.realpath(os.path.join(self.root, relative))
        if full != self.root and not full.startswith(self.root + os.sep):
            return None
        return full


def make_blocks(size, seed):
    """Deterministic, incompressible-looking bytes: the same size and seed give the same file."""
    rng = random.Random(seed)
    block = rng.randbytes(1 << 20)
    left = size
    counter = 0
    while left > 0:
        # Each mebibyte differs, so a resume at the wrong offset cannot pass the checksum.
        piece = counter.to_bytes(8, "little") + block[8:]
        yield piece[: min(left, len(piece))]
        left -= len(piece)
        counter += 1


def chaos_action(rng, full):
    kind = rng.choices([k for _, k in CHAOS], weights=[w for w, _ in CHAOS])[0]
    size = os.path.getsize(full) if full and os.path.isfile(full) else 1
    cut = rng.randrange(1, max(2, size // 4))
    pause = rng.randrange(10, 61)
    if kind == "drop":
        return f"drop:{cut}"
    if kind == "stall":
        return f"stall:{pause}"
    if kind == "stallbody":
        return f"stallbody:{cut}:{pause}"
    return kind


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuorvaneTestServer/1"

    # What the next answer's Date header is moved by, and its Age header ("" for none).
    date_offset = 0
    age = ""

    def log_message(self, *args):
        pass

    def date_time_string(self, timestamp=None):
        return super().date_time_string((timestamp or time.time()) + self.date_offset)

    @property
    def state(self):
        return self.server.state

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        if parsed.path.startswith("/_control/") and self.state.controlled:
            self.control(parsed.path[len("/_control/"):], urllib.parse.parse_qs(parsed.query))
            return
        path = parsed.path
        with self.state.lock:
            self.state.log.append(
                (path, self.headers.get("Range", ""), self.headers.get("User-Agent", "")))
        action = self.state.next_action(path)
        self.serve(path, action)

    def reply(self, status, body, content_type="text/plain; charset=utf-8"):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def control(self, verb, query):
        def arg(name, default=None):
            values = query.get(name)
            return values[0] if values else default

        if verb == "reset":
            with self.state.lock:
                self.state.plans.clear()
                self.state.chaos.clear()
                self.state.log.clear()
            self.reply(200, "ok")
        elif verb == "plan":
            actions = [a for a in arg("actions", "").split(",") if a]
            with self.state.lock:
                self.state.plans[arg("path")] = actions
            self.reply(200, "ok")
        elif verb == "chaos":
            with self.state.lock:
                self.state.chaos[arg("path")] = random.Random(int(arg("seed", "1")))
            self.reply(200, "ok")
        elif verb == "log":
            want = arg("path")
            with self.state.lock:
                rows = [r for r in self.state.log if want is None or r[0] == want]
            self.reply(200, "".join("\t".join(r) + "\n" for r in rows))
        elif verb in ("make", "write", "delete"):
            full = self.state.local_file(arg("path", ""))
            if full is None:
                self.reply(400, "path leaves the served folder")
                return
            if verb == "delete":
                if os.path.exists(full):
                    os.remove(full)
                self.reply(200, "ok")
                return
            if verb == "make" and arg("text"):
                line = b"# padding line of a large text body\n"
                size = int(arg("size", "0"))
                blocks = [(line * (size // len(line) + 1))[:size]]
            elif verb == "make":
                blocks = make_blocks(int(arg("size", "0")), int(arg("seed", "1")))
            else:
                blocks = [arg("text", "").encode("utf-8")]
            os.makedirs(os.path.dirname(full), exist_ok=True)
            digest = hashlib.sha512()
            with open(full, "wb") as f:
                for block in blocks:
                    f.write(block)
                    digest.update(block)
            self.reply(200, base64.b64encode(digest.digest()).decode("ascii"))
        else:
            self.reply(404, "unknown control verb")

    def serve(self, path, action):
        name, _, argument = action.partition(":")
        if name == "status":
            self.reply(int(argument), "scripted status\n")
            return
        if name == "portal":
            size = int(argument) if argument else len(PORTAL_PAGE)
            self.reply(200, PORTAL_PAGE.ljust(size, b" "), "text/html; charset=utf-8")
            return
        if name == "416":
            self.reply(416, "range not satisfiable\n")
            return
        if name == "stall":
            time.sleep(int(argument) / 1000.0)
        if name == "date":
            offset, _, self.age = argument.partition(":")
            self.date_offset = int(offset)

        full = self.state.local_file(path)
        if full is None or not os.path.isfile(full):
            self.reply(404, "not found\n")
            return
        if name == "endless":
            self.serve_endless(full)
            return
        size = os.path.getsize(full)

        start, end, partial = 0, size - 1, False
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        if match and name != "norange":
            start = int(match.group(1))
            if match.group(2):
                end = min(int(match.group(2)), size - 1)
            if start >= size:
                self.send_response(416)
                self.send_header("Content-Range", f"bytes */{size}")
                self.send_header("Content-Length", "0")
                self.send_header("Connection", "close")
                self.end_headers()
                self.close_connection = True
                return
            partial = True
        length = max(0, end - start + 1)

        self.send_response(206 if partial else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        if partial:
            self.send_header("Content-Range", f"bytes {start}-{end}/{size}")
        self.send_header("Accept-Ranges", "bytes")
        if self.age:
            self.send_header("Age", self.age)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True

        limit = length
        pause_at, pause_ms = None, 0
        rate = int(argument) if name == "slow" else 0
        began = time.monotonic()
        if name == "drop":
            limit = min(length, int(argument))
        elif name == "stallbody":
            first, _, ms = argument.partition(":")
            pause_at, pause_ms = int(first), int(ms)

        sent = 0
        try:
            with open(full, "rb") as f:
                f.seek(start)
                while sent < limit:
                    want = min(CHUNK, limit - sent)
                    if pause_at is not None and sent < pause_at:
                        want = min(want, pause_at - sent)
                    data = f.read(want)
                    if not data:
                        break
                    self.wfile.write(data)
                    sent += len(data)
                    if rate:
                        self.wfile.flush()
                        time.sleep(max(0.0, began + sent / rate - time.monotonic()))
                    if pause_at is not None and sent == pause_at:
                        self.wfile.flush()
                        time.sleep(pause_ms / 1000.0)
                        pause_at = None
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            return
        if name == "drop":
            # An abortive close, so the client sees the connection end mid-body.
            try:
                self.connection.shutdown(2)
            except OSError:
                pass

    def serve_endless(self, full):
        with open(full, "rb") as f:
            data = f.read() or b"\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            while True:
                self.wfile.write(data)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--slow", type=int, metavar="BPS")
    parser.add_argument("--no-control", action="store_true")
    args = parser.parse_args()

    os.makedirs(args.root, exist_ok=True)
    server = Server(("127.0.0.1", args.port), Handler)
    server.state = State(args.root)
    if args.slow:
        server.state.default = "slow:%d" % args.slow
    server.state.controlled = not args.no_control
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(str(port))
        os.replace(args.port_file + ".tmp", args.port_file)
    print(f"port {port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
