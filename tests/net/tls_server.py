#!/usr/bin/python3
"""TLS test peers on loopback ports of the system's choosing.

Arguments: a folder holding good.pem, wrong.pem, expired.pem and server.key,
and a log file. Prints one line "name=port ..." once every listener is up.

Peers:
  good, good6   certificate for localhost, 127.0.0.1 and ::1 (good6 on ::1)
  wrong         certificate for another name
  expired       certificate whose validity has ended
  reset         reads the first bytes of the handshake, then resets
  http, http6   HTTPS servers with the good certificate (http6 on ::1)
  silent        takes connections and never sends or reads a byte

After the handshake an HTTPS peer reads one request (header, then as many
body bytes as Content-Length says) and answers by its path, then sends
close_notify and closes:
  /echo...     200, the body is the request exactly as received
  /to?ADDRESS  302 with "Location: ADDRESS"
  /status/N    status N, body "refused N"
  other        200 "hello over tls"

After the handshake a good peer reads one command line:
  ECHO text    sends text back exactly, then waits for the client to close
  BIG n        sends n bytes (byte i is i % 251), then close_notify and close
  CLOSE        sends "bye", then close_notify and close
  RAGGED       sends "bye", then closes without close_notify
  RESET        resets the connection
  GARBAGE      writes a record that is not encrypted, beside TLS
  HOLD tag     waits for the client to close; logs "tag clean" when it sent
               close_notify, "tag ragged" otherwise
"""
import os
import socket
import ssl
import sys
import threading

folder, log_path = sys.argv[1], sys.argv[2]
log_lock = threading.Lock()
# SO_LINGER on with 0 seconds: close resets the connection.
LINGER_RESET = b"\x01\x00\x00\x00\x00\x00\x00\x00"


def log(line):
    with log_lock, open(log_path, "a") as f:
        f.write(line + "\n")


def context(cert):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(folder, cert), os.path.join(folder, "server.key"))
    return ctx


def read_line(conn):
    data = b""
    while not data.endswith(b"\n"):
        chunk = conn.recv(1)
        if not chunk:
            break
        data += chunk
    return data.decode("latin-1").rstrip("\r\n")


def wait_for_close(conn, tag):
    try:
        while conn.recv(4096):
            pass
        log(tag + " clean")
    except (ssl.SSLEOFError, ConnectionError, OSError):
        log(tag + " ragged")


def serve_tls(conn, ctx):
    try:
        tls = ctx.wrap_socket(conn, server_side=True, suppress_ragged_eofs=False)
    except (ssl.SSLError, OSError):
        conn.close()
        return
    try:
        line = read_line(tls)
        word, _, rest = line.partition(" ")
        if word == "ECHO":
            tls.sendall(rest.encode("latin-1"))
            wait_for_close(tls, "echo")
        elif word == "BIG":
            n = int(rest)
            pattern = bytes(i % 251 for i in range(251 * 64))
            sent = 0
            while sent < n:
                piece = pattern[: min(len(pattern), n - sent)]
                tls.sendall(piece)
                sent += len(piece)
            tls.unwrap().close()
        elif word == "CLOSE":
            tls.sendall(b"bye")
            tls.unwrap().close()
        elif word == "RAGGED":
            tls.sendall(b"bye")
        elif word == "RESET":
            tls.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, LINGER_RESET)
        elif word == "GARBAGE":
            os.write(tls.fileno(), b"\x17\x03\x03\x00\x20" + b"x" * 32)
            wait_for_close(tls, "garbage")
        elif word == "HOLD":
            wait_for_close(tls, rest)
    except (ssl.SSLError, OSError):
        pass
    finally:
        tls.close()


def read_request(tls):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = tls.recv(4096)
        if not chunk:
            return data
        data += chunk
    header, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in header.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(body) < length:
        chunk = tls.recv(4096)
        if not chunk:
            break
        body += chunk
    return header + b"\r\n\r\n" + body


def http_answer(request):
    target = request.split(b" ")[1].decode("latin-1") if request.count(b" ") >= 2 else "/"
    extra = ""
    if target.startswith("/echo"):
        status, body = "200 OK", request
    elif target.startswith("/to?"):
        status, body = "302 Found", b"moved"
        extra = "Location: " + target[4:] + "\r\n"
    elif target.startswith("/status/"):
        code = target[len("/status/"):]
        status, body = code + " Refused", b"refused " + code.encode()
    else:
        status, body = "200 OK", b"hello over tls"
    head = "HTTP/1.0 %s\r\nContent-Type: text/plain\r\n%sContent-Length: %d\r\n\r\n" % (
        status, extra, len(body))
    return head.encode("latin-1") + body


def serve_https(conn, ctx):
    try:
        tls = ctx.wrap_socket(conn, server_side=True, suppress_ragged_eofs=False)
    except (ssl.SSLError, OSError):
        conn.close()
        return
    try:
        request = read_request(tls)
        log("https " + request.split(b"\r\n")[0].decode("latin-1"))
        tls.sendall(http_answer(request))
        tls.unwrap().close()
    except (ssl.SSLError, OSError):
        pass
    finally:
        tls.close()


def serve_silent(conn):
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass
    finally:
        conn.close()


def serve_reset(conn):
    try:
        conn.recv(5)
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, LINGER_RESET)
    finally:
        conn.close()


def listener(family, host):
    s = socket.socket(family, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((host, 0))
    s.listen(64)
    return s


def accept_loop(s, handler):
    while True:
        conn, _ = s.accept()
        threading.Thread(target=handler, args=(conn,), daemon=True).start()


peers = {}
good = context("good.pem")
for name, family, host, handler in (
    ("good", socket.AF_INET, "127.0.0.1", lambda c: serve_tls(c, good)),
    ("good6", socket.AF_INET6, "::1", lambda c: serve_tls(c, good)),
    ("wrong", socket.AF_INET, "127.0.0.1", (lambda ctx: lambda c: serve_tls(c, ctx))(context("wrong.pem"))),
    ("expired", socket.AF_INET, "127.0.0.1", (lambda ctx: lambda c: serve_tls(c, ctx))(context("expired.pem"))),
    ("reset", socket.AF_INET, "127.0.0.1", serve_reset),
    ("http", socket.AF_INET, "127.0.0.1", lambda c: serve_https(c, good)),
    ("http6", socket.AF_INET6, "::1", lambda c: serve_https(c, good)),
    ("silent", socket.AF_INET, "127.0.0.1", serve_silent),
):
    s = listener(family, host)
    peers[name] = s.getsockname()[1]
    threading.Thread(target=accept_loop, args=(s, handler), daemon=True).start()

print(" ".join("%s=%d" % kv for kv in peers.items()), flush=True)
# Ends with the test binary: its end of the pipe closes.
sys.stdin.read()
