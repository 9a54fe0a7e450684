#!/usr/bin/env bash
# qvget end to end: usage errors, a verbose GET against a python3 server,
# a POST, a refused connection, a 404, a server that never answers and a
# small batch; then https: a verbose GET, certificate failures, a tunnel
# through a real tinyproxy with and without credentials, and a batch.
set -uo pipefail
QVGET=$1
HERE=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
server_pid=
tls_pid=
proxy_pid=
cleanup() {
    for pid in "$server_pid" "$tls_pid" "$proxy_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null
    done
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
{ coproc SILENT { exec /usr/bin/python3 -u -c '
import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print("port", s.getsockname()[1], flush=True)
time.sleep(60)' 2>/dev/null; }; } 2>/dev/null
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

# ---- https, against the TLS peers of tls_server.py with certificates made
# for the test (QUORVANE_CA_FILE names their CA).
mkdir "$work/tls"
bash "$HERE/tls_certs.sh" "$work/tls"
check "test certificates made" [ -s "$work/tls/good.pem" ]
# (A second coprocess makes bash warn that the first still exists.)
{ coproc TLS { exec /usr/bin/python3 -u "$HERE/tls_server.py" "$work/tls" "$work/tls/server.log" 2>/dev/null; }; } 2>/dev/null
tls_pid=$TLS_PID
peers=
read -r -t 15 -u "${TLS[0]}" peers || true
peer_port() { sed -n "s/.*\b$1=\([0-9]*\).*/\1/p" <<<"$peers"; }
https=$(peer_port http)
check "TLS peers started" [ -n "$https" ]
export QUORVANE_CA_FILE=$work/tls/ca.pem

"$QVGET" -v "https://localhost:$https/echo/page" >"$work/out" 2>"$work/err"
check "https GET exit 0" [ $? -eq 0 ]
check "https request line" grep -qx "GET /echo/page HTTP/1.0" "$work/err"
check "https host line" grep -qx "Host: localhost" "$work/err"
check "https status" grep -qx "status: 200 OK" "$work/err"
check "https error 0" grep -qx "error: 0" "$work/err"
check "https body is the request" grep -q "^GET /echo/page HTTP/1.0" "$work/out"

for failure in "untrusted http 21002 Certificate not trusted" \
               "trusted wrong 21003 Certificate name mismatch" \
               "trusted expired 21004 Certificate expired"; do
    read -r trust peer code text <<<"$failure"
    if [ "$trust" = untrusted ]; then
        env -u QUORVANE_CA_FILE "$QVGET" -v "https://localhost:$(peer_port "$peer")/" >/dev/null 2>"$work/err"
    else
        "$QVGET" -v "https://localhost:$(peer_port "$peer")/" >/dev/null 2>"$work/err"
    fi
    check "$text: exit 1" [ $? -eq 1 ]
    check "$text: error" grep -qx "error: $code" "$work/err"
    check "$text: status" grep -qx "status: 404 $text (Error #$code)" "$work/err"
done

timeout 20 "$QVGET" -v --timeout 1 "https://localhost:$(peer_port silent)/" >/dev/null 2>"$work/err"
check "https time-out exit 1" [ $? -eq 1 ]
check "https time-out error" grep -qx "error: 10060" "$work/err"

# A real tinyproxy with credentials, run as the calling user.
proxy_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 30
LogLevel Info
PidFile "$work/tinyproxy.pid"
MaxClients 20
BasicAuth agent s3cret
Allow 127.0.0.1
CONF
{ coproc PROXY { exec /usr/bin/tinyproxy -d -c "$work/tinyproxy.conf" 2>&1; }; } 2>/dev/null
proxy_pid=$PROXY_PID
proxy_up=
while [ -n "${PROXY[0]:-}" ] && read -r -t 10 -u "${PROXY[0]}" line; do
    case $line in *"Accepting connections"*) proxy_up=1; break ;; esac
done
check "tinyproxy started" [ -n "$proxy_up" ]

target="127.0.0.1:$https"
"$QVGET" -v --proxy "127.0.0.1:$proxy_port" --proxy-user agent:s3cret "https://$target/echo/tunnel" \
    >"$work/out" 2>"$work/err"
check "tunnel exit 0" [ $? -eq 0 ]
check "tunnel CONNECT line" grep -qx "CONNECT $target HTTP/1.1" "$work/err"
check "tunnel CONNECT host" grep -qx "Host: $target" "$work/err"
check "tunnel credentials" grep -qx "Proxy-Authorization: Basic YWdlbnQ6czNjcmV0" "$work/err"
check "tunnel status" grep -qx "status: 200 OK" "$work/err"
check "tunnel request with the path" grep -q "^GET /echo/tunnel HTTP/1.0" "$work/out"
check "no credentials for the server" bash -c "! grep -q '^Proxy-Authorization' '$work/out'"

"$QVGET" -v --proxy "127.0.0.1:$proxy_port" "https://$target/echo/tunnel" >/dev/null 2>"$work/err"
check "tunnel without credentials exit 1" [ $? -eq 1 ]
check "tunnel without credentials status" grep -q "^status: 407 " "$work/err"
check "tunnel without credentials error 0" grep -qx "error: 0" "$work/err"

"$QVGET" -v --proxy "127.0.0.1:$proxy_port" --proxy-user agent:s3cret \
    "http://127.0.0.1:$port/page.txt" >"$work/out" 2>"$work/err"
check "plain http through the proxy exit 0" [ $? -eq 0 ]
check "plain http through the proxy: absolute URL" \
    grep -qx "GET http://127.0.0.1:$port/page.txt HTTP/1.0" "$work/err"
check "plain http through the proxy: body" grep -qx "hello from the test" "$work/out"

"$QVGET" --repeat 20 --parallel 3 "https://localhost:$https/" 2>"$work/err"
check "https batch exit 0" [ $? -eq 0 ]
check "https batch summary" grep -Eq "^requests: 20, errors: 0, " "$work/err"

exit $((failures > 0))
