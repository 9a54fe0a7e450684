"""A small SOCKS 5 server for the socket tests: CONNECT only, with either no
authentication or one user name and password. Prints "port N" when ready.

    python3 socks5_server.py USER PASSWORD     (USER "-" for no authentication)
"""
import select
import socket
import sys
import threading

USER, PASSWORD = sys.argv[1], sys.argv[2]


def recv_exactly(conn, count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


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


def handle(conn):
    try:
        _, count = recv_exactly(conn, 2)
        methods = recv_exactly(conn, count)
        wanted = 0 if USER == "-" else 2
        if wanted not in methods:
            conn.sendall(b"\x05\xff")
            return
        conn.sendall(bytes([5, wanted]))
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
        try:
            target = socket.create_connection((host, port), timeout=5)
        except OSError:
            conn.sendall(b"\x05\x05\x00\x01" + bytes(6))
            return
        conn.sendall(b"\x05\x00\x00\x01" + bytes(6))
        with target:
            relay(conn, target)
    except (EOFError, OSError):
        pass
    finally:
        conn.close()


def main():
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    print("port", server.getsockname()[1], flush=True)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


main()
