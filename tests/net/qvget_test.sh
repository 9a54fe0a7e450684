#!/usr/bin/env bash
# qvget end to end: usage errors, a verbose GET against a python3 server,
# a POST, a refused connection, a 404, a server that never answers and a
# small batch.
set -uo pipefail
QVGET=$1
work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() { # description, condition...
    local what=$1
    shift
    if ! "$@"; then
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

for args in "" "-x http://a/" "--repeat 5 http://a/" "--repeat 0 --parallel 2 http://a/" \
            "--repeat 3 --parallel 2 -v http://a/" "http://a/ http://b/"; do
    # shellcheck disable=SC2086
    "$QVGET" $args >/dev/null 2>"$work/err"
    check "usage exit for '$args'" [ $? -eq 2 ]
    check "usage text for '$args'" grep -q "^usage: qvget" "$work/err"
done

mkdir "$work/www"
printf 'hello from the test\n' > "$work/www/page.txt"
cat > "$work/server.py" <<'PY'
import http.server, sys, functools
class Handler(http.server.SimpleHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(200)
        self.end_headers()
        self.wfile.write(b"got " + body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0),
                                 functools.partial(Handler, directory=sys.argv[1]))
print("port", server.server_port, flush=True)
server.serve_forever()
PY
coproc SERVER { exec /usr/bin/python3 -u "$work/server.py" "$work/www" 2>/dev/null; }
server_pid=$SERVER_PID
# The server prints its port when it listens; the read waits for that line.
port=
read -r -t 10 -u "${SERVER[0]}" _ port || true
check "python server started" [ -n "$port" ]

"$QVGET" -v "http://127.0.0.1:$port/page.txt" >"$work/out" 2>"$work/err"
check "GET exit 0" [ $? -eq 0 ]
check "GET body" grep -qx "hello from the test" "$work/out"
check "request line" grep -qx "GET /page.txt HTTP/1.0" "$work/err"
check "host line" grep -qx "Host: 127.0.0.1" "$work/err"
check "status line" grep -qx "status: 200 OK" "$work/err"
check "received header" grep -q "^HTTP/1.0 200 OK$" "$work/err"
check "error line" grep -qx "error: 0" "$work/err"

"$QVGET" --post "a=1&b=2" "http://127.0.0.1:$port/form" >"$work/out" 2>/dev/null
check "POST exit 0" [ $? -eq 0 ]
check "POST body echoed" grep -qx "got a=1&b=2" "$work/out"

refused=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$QVGET" -v "http://127.0.0.1:$refused/" >/dev/null 2>"$work/err"
check "refused exit 1" [ $? -eq 1 ]
check "refused error" grep -qx "error: 10061" "$work/err"
check "refused status" grep -qx "status: 404 Connection refused (Error #10061)" "$work/err"

"$QVGET" -v "http://127.0.0.1:$port/missing.txt" >/dev/null 2>"$work/err"
check "404 exit 1" [ $? -eq 1 ]
check "404 status" grep -q "^status: 404 " "$work/err"
check "404 error 0" grep -qx "error: 0" "$work/err"

# A server that takes connections and never answers: the time limit ends it.
coproc SILENT { exec /usr/bin/python3 -u -c '
import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print("port", s.getsockname()[1], flush=True)
time.sleep(60)' 2>/dev/null; }
silent_pid=$SILENT_PID
silent=
read -r -t 10 -u "${SILENT[0]}" _ silent || true
check "silent server started" [ -n "$silent" ]
timeout 20 "$QVGET" -v --timeout 1 "http://127.0.0.1:$silent/" >/dev/null 2>"$work/err"
check "time-out exit 1" [ $? -eq 1 ]
check "time-out error" grep -qx "error: 10060" "$work/err"
check "time-out status" grep -qx "status: 404 Connection timed out (Error #10060)" "$work/err"
kill "$silent_pid" 2>/dev/null
for args in "--timeout x http://a/" "--timeout -1 http://a/"; do
    # shellcheck disable=SC2086
    "$QVGET" $args >/dev/null 2>&1
    check "usage exit for '$args'" [ $? -eq 2 ]
done

"$QVGET" --repeat 20 --parallel 3 "http://127.0.0.1:$port/page.txt" 2>"$work/err"
check "batch exit 0" [ $? -eq 0 ]
check "batch summary" grep -Eq "^requests: 20, errors: 0, seconds: [0-9.]+, per second: [0-9.]+$" "$work/err"

exit $((failures > 0))
