#!/usr/bin/python3
# An HTTP/1.0 server that stands in for IndexNow endpoints in the submission
# tests. It prints its port, then "GOT METHOD PATH" for every request, and
# writes every request as received (request line, header lines, body) to
# FOLDER/NNNN.req, numbered from 1, when a folder is given as argument.
# Answers, by path:
#   /sNNN...               status NNN with an empty body
#   /retry/AFTER/N/...     429 with "Retry-After: AFTER" for the first N
#                          requests of that exact path, then 202 empty
#   /always429/AFTER...    429 with "Retry-After: AFTER", every time
#   /body/NNN...           status NNN with the body "engine says NNN"
#   anything else          202 with an empty body
import http.server
import os
import socketserver
import ssl
import sys
import threading

OUTPUT = threading.Lock()
FOLDER = sys.argv[1] if len(sys.argv) > 1 else None
COUNTS = {}
REASONS = {200: "OK", 202: "Accepted", 400: "Bad Request", 403: "Forbidden",
           422: "Unprocessable Entity", 429: "Too Many Requests",
           503: "Service Unavailable"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def record(self, body):
        with OUTPUT:
            number = sum(COUNTS.values()) + 1
            COUNTS[self.path] = COUNTS.get(self.path, 0) + 1
            if FOLDER:
                head = self.requestline + "\r\n"
                for name, value in self.headers.items():
                    head += "%s: %s\r\n" % (name, value)
                with open(os.path.join(FOLDER, "%04d.req" % number), "wb") as f:
                    f.write(head.encode("latin-1") + b"\r\n" + body)
            sys.stdout.write("GOT %s %s\n" % (self.command, self.path))
            sys.stdout.flush()
            return COUNTS[self.path]

    def send(self, status, body=b"", extra=""):
        head = "HTTP/1.0 %d %s\r\n%sContent-Length: %d\r\n\r\n" % (
            status, REASONS.get(status, "X"), extra, len(body))
        self.wfile.write(head.encode("latin-1") + body)
        self.wfile.flush()

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        seen = self.record(body)
        parts = self.path.split("?")[0].split("/")
        if parts[1].startswith("s") and parts[1][1:].isdigit():
            self.send(int(parts[1][1:]))
        elif parts[1] == "retry":
            if seen <= int(parts[3]):
                self.send(429, extra="Retry-After: %s\r\n" % parts[2])
            else:
                self.send(202)
        elif parts[1] == "always429":
            self.send(429, extra="Retry-After: %s\r\n" % parts[2])
        elif parts[1].endswith(".txt"):
            # Key files: a key starting "good" is served as itself, one starting
            # "wrong" holds another key, every other one is missing.
            stem = parts[1][:-4]
            if stem.startswith("good"):
                self.send(200, stem.encode())
            elif stem.startswith("wrong"):
                self.send(200, b"0123456789abcdef")
            else:
                self.send(404, b"<html>no such file</html>")
        elif parts[1] == "body":
            self.send(int(parts[2]), ("engine says %s" % parts[2]).encode())
        else:
            self.send(202)

    do_GET = handle_any
    do_POST = handle_any


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
if len(sys.argv) > 4 and sys.argv[2] == "--tls":
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[3], sys.argv[4])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
