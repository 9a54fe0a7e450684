#!/usr/bin/python3
# A small HTTP/1.0 server for the page download and capture tests. It serves
# the files of the folder named by its first argument, prints its port, then
# "GOT METHOD PATH BODY" for every request it receives. Paths under
# /cgi-bin/ are form handlers that answer "thanks"; a missing file is a 404.
# Files named *-utf8.html are sent as UTF-8, all others as windows-1252.
# With a certificate and its key as second and third arguments it speaks
# https.
import http.server
import os
import socketserver
import ssl
import sys
import threading
import urllib.parse

ROOT = sys.argv[1]
OUTPUT = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def answer(self, status, content_type, body):
        head = "HTTP/1.0 %d X\r\nContent-Type: %s\r\n\r\n" % (status, content_type)
        self.wfile.write(head.encode("latin-1") + body)
        self.wfile.flush()

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        posted = self.rfile.read(length).decode("latin-1") if length else ""
        with OUTPUT:
            sys.stdout.write("GOT %s %s %s\n" % (self.command, self.path, posted))
            sys.stdout.flush()
        path = urllib.parse.urlsplit(self.path).path
        if path.startswith("/cgi-bin/"):
            self.answer(200, "text/html", b"<html><body>thanks</body></html>")
            return
        name = os.path.normpath(os.path.join(ROOT, path.lstrip("/")))
        if not name.startswith(os.path.normpath(ROOT)) or not os.path.isfile(name):
            self.answer(404, "text/html", b"<html><body>not here</body></html>")
            return
        charset = "utf-8" if name.endswith("-utf8.html") else "windows-1252"
        with open(name, "rb") as f:
            self.answer(200, "text/html; charset=" + charset, f.read())

    do_GET = handle_any
    do_POST = handle_any


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
if len(sys.argv) > 3:
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = tls.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
