"""A small SOCKS server for the socket tests: CONNECT only, SOCKS 4 and 4A,
and SOCKS 5 with either no authentication or one user name and password.
Prints "port N" when ready, then "CONNECT VERSION HOST PORT USER" for every
request it receives (VERSION 4, 4A or 5; USER "-" when none was sent).
A request for port 1 is rejected (no one listens there).

    python3 socks_server.py USER PASSWORD     (USER "-" for no authentication)
"""
import select
import socket
import sys
import threading

USER, PASSWORD = sys.argv[1], sys.argv[2]
OUTPUT = threading.Lock()
REFUSED_PORT = 1


def say(*words):
    with OUTPUT:
        print(*words, flush=True)


def recv_exactly(conn, count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def recv_until_nul(conn):
    data = b""
    while True:
        byte = recv_exactly(conn, 1)
        if byte == b"\0":
            return data.decode("latin-1")
        data += byte


def relay(a, b):
    peers = {a: b, b: a}
    open_ends = 2
    while open_ends:
        ready, _, _ = select.select(list(peers), [], [], 10)
        if not ready:
            return
        for s in ready:
            data = s.recv(65536)
            if data:
                peers[s].sendall(data)
            else:
                peers[s].shutdown(socket.SHUT_WR)
                del peers[s]
                open_ends -= 1


def connect_target(host, port):
    if port == REFUSED_PORT:
        return None
    try:
        return socket.create_connection((host, port), timeout=5)
    except OSError:
        return None


def handle_socks4(conn):
    _, port_hi, port_lo = recv_exactly(conn, 3)
    port = port_hi * 256 + port_lo
    address = recv_exactly(conn, 4)
    user = recv_until_nul(conn)
    if address[:3] == b"\0\0\0" and address[3] != 0:
        version, host = "4A", recv_until_nul(conn)
    else:
        version, host = "4", socket.inet_ntoa(address)
    say("CONNECT", version, host, port, user or "-")
    target = connect_target(host, port)
    conn.sendall(bytes([0, 0x5A if target else 0x5B]) + bytes(6))
    if target:
        with target:
            relay(conn, target)


def handle_socks5(conn):
    count = recv_exactly(conn, 1)[0]
    methods = recv_exactly(conn, count)
    wanted = 0 if USER == "-" else 2
    if wanted not in methods:
        conn.sendall(b"\x05\xff")
        return
    conn.sendall(bytes([5, wanted]))
    user = "-"
    if wanted == 2:
        _, length = recv_exactly(conn, 2)
        user = recv_exactly(conn, length).decode()
        password = recv_exactly(conn, recv_exactly(conn, 1)[0]).decode()
        accepted = (user, password) == (USER, PASSWORD)
        conn.sendall(b"\x01" + (b"\x00" if accepted else b"\x01"))
        if not accepted:
            return
    _, _, _, kind = recv_exactly(conn, 4)
    if kind == 1:
        host = socket.inet_ntoa(recv_exactly(conn, 4))
    else:
        host = recv_exactly(conn, recv_exactly(conn, 1)[0]).decode()
    port = int.from_bytes(recv_exactly(conn, 2), "big")
    say("CONNECT", 5, host, port, user)
    target = connect_target(host, port)
    if not target:
        conn.sendall(b"\x05\x05\x00\x01" + bytes(6))
        return
    conn.sendall(b"\x05\x00\x00\x01" + bytes(6))
    with target:
        relay(conn, target)


def handle(conn):
    try:
        version = recv_exactly(conn, 1)[0]
        if version == 4:
            handle_socks4(conn)
        elif version == 5:
            handle_socks5(conn)
    except (EOFError, OSError):
        pass
    finally:
        conn.close()


def main():
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    say("port", server.getsockname()[1])
    while True:
        conn, _ = server.accept()
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


main()
