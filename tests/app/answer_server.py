#!/usr/bin/python3
# A small HTTP/1.0 server for the submission tests. It prints its port, then
# "GOT METHOD PATH" for every request it receives, and answers by path:
#   /empty...    200 with no body
#   /missing...  404 with a short body sent together with the header
#   /echo...     200, body "METHOD PATH" and the request body on a new line
#   /hang...     answers only after 60 seconds (tests cancel before that)
#   /reset...    resets the connection without answering
#   /close...    closes the connection without a byte
#   /short...    announces 10 body bytes, sends 3 and closes
#   /error500... 500 without a body
#   /badgateway. 502 with a body, as a proxy sends it
#   /loop...     302 back to itself, for ever
#   /keepalive.. 200 with Content-Length, then keeps the connection open
#   /big...      2 MiB of body
#   anything     200, body "<html><body>answer PATH</body></html>"
import http.server
import socket
import socketserver
import struct
import sys
import threading
import time

# Handler threads print concurrently; one lock keeps each line whole.
OUTPUT = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def answer(self, status, body):
        data = self.headers_and(status, body)
        self.wfile.write(data)
        self.wfile.flush()

    def headers_and(self, status, body):
        head = "HTTP/1.0 %d X\r\nContent-Type: text/html\r\n\r\n" % status
        return head.encode("latin-1") + body.encode("latin-1")

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        posted = self.rfile.read(length).decode("latin-1") if length else ""
        with OUTPUT:
            sys.stdout.write("GOT %s %s\n" % (self.command, self.path))
            sys.stdout.flush()
        path = self.path
        if path.startswith("/reset"):
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
        elif path.startswith("/close"):
            self.connection.close()
        elif path.startswith("/short"):
            self.wfile.write(b"HTTP/1.0 200 X\r\nContent-Length: 10\r\n\r\nabc")
        elif path.startswith("/error500"):
            self.answer(500, "")
        elif path.startswith("/badgateway"):
            self.answer(502, "<p>upstream refused</p>")
        elif path.startswith("/loop"):
            self.wfile.write(("HTTP/1.0 302 X\r\nLocation: %s\r\n\r\n" % path)
                             .encode("latin-1"))
        elif path.startswith("/keepalive"):
            self.wfile.write(b"HTTP/1.0 200 X\r\nContent-Length: 4\r\n\r\nkept")
            self.wfile.flush()
            time.sleep(60)
        elif path.startswith("/big"):
            self.wfile.write(b"HTTP/1.0 200 X\r\nContent-Type: text/plain\r\n\r\n")
            line = b"x" * 1023 + b"\n"
            try:
                for _ in range(2048):
                    self.wfile.write(line)
            except OSError:
                pass
        elif path.startswith("/hang"):
            time.sleep(60)
            self.answer(200, "late")
        elif path.startswith("/empty"):
            self.answer(200, "")
        elif path.startswith("/missing"):
            self.answer(404, "<p>gone</p>")
        elif path.startswith("/echo"):
            self.answer(200, "%s %s\r\n%s" % (self.command, path, posted))
        else:
            self.answer(200, "<html><body>answer %s</body></html>" % path)

    do_GET = handle_any
    do_POST = handle_any


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
