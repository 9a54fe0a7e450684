#!/usr/bin/env bash
# Throughput of the HTTP client over https: qvget (THttpCli, six clients on
# one event loop) against curl with six parallel transfers, both fetching the
# same small static file the same number of times from a private nginx with
# TLS on a free loopback port. Both speak HTTP/1.0, so every request opens a
# new TCP connection and makes a new TLS handshake; both resume TLS sessions
# (curl keeps a session cache per process by default, qvget's socket layer
# one per trust store), and the script counts the resumptions of each.
# The certificates come from a CA made for the run with openssl
# (tests/net/tls_certs.sh); curl gets the CA with --cacert, qvget with
# QUORVANE_CA_FILE.
#
#   bench/net/qvget_vs_curl_https.sh [PATH/TO/qvget] [REQUESTS]
#
# ROUNDS (default 5) rounds, interleaved; the fastest round of each counts.
# Prints requests per second, CPU milliseconds per request and the ratio.
set -euo pipefail

QVGET=${1:-build/tools/qvget/qvget}
REQUESTS=${2:-1000}
PARALLEL=6
BENCH=$(cd "$(dirname "$0")/.." && pwd)
source "$BENCH/local_nginx.sh"
source "$BENCH/best_of_rounds.sh"

[ -x "$QVGET" ] || { echo "qvget not found at $QVGET" >&2; exit 2; }

work=$(mktemp -d)
trap 'local_nginx_stop; rm -rf "$work"' EXIT
mkdir -p "$work/www" "$work/tls"
bash "$BENCH/../tests/net/tls_certs.sh" "$work/tls"
chmod -R a+rX "$work/tls"
python3 -c 'print("<html><body>" + "quorvane benchmark page " * 40 + "</body></html>")' \
    > "$work/www/small.html"
TLS_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The TLS listener joins the plain one of the same server; /reused answers
# "r" when the connection resumed a session, "." when it did not.
local_nginx_start "$work" "
        listen 127.0.0.1:$TLS_PORT ssl;
        ssl_certificate $work/tls/good.pem;
        ssl_certificate_key $work/tls/server.key;
        ssl_session_cache shared:bench:1m;
        location = /reused { return 200 \"\$ssl_session_reused\"; }"

url="https://localhost:$TLS_PORT/small.html"
export QUORVANE_CA_FILE=$work/tls/ca.pem
curl_cfg() { # URL COUNT OUTPUT-PATTERN
    for i in $(seq "$2"); do
        printf 'url = "%s"\noutput = "%s"\n' "$1" "${3//N/$i}"
    done
}
curl_cfg "$url" "$REQUESTS" /dev/null > "$work/curl.cfg"

# What each one does with connections and sessions, checked on a sample.
mkdir "$work/reused"
curl_cfg "https://localhost:$TLS_PORT/reused" 20 "$work/reused/N" > "$work/reused.cfg"
curl -sv --http1.0 --cacert "$QUORVANE_CA_FILE" --parallel --parallel-max "$PARALLEL" \
    -K "$work/reused.cfg" 2> "$work/curl.verbose"
curl_resumed=$(cat "$work/reused"/* | tr -cd r | wc -c)
curl_reused_connections=$(grep -c "Re-using existing connection" "$work/curl.verbose" || true)
"$QVGET" --repeat 20 --parallel "$PARALLEL" "$url" 2> "$work/qvget.sample"
echo "curl --http1.0: $curl_reused_connections of 20 requests on a reused connection," \
     "$curl_resumed of 20 TLS sessions resumed"
echo "qvget: $(grep -o 'TLS sessions resumed: .*' "$work/qvget.sample" || echo 'no TLS figures')"

echo "$REQUESTS requests of $url, $PARALLEL at a time, best of $ROUNDS rounds"
for round in $(seq "$ROUNDS"); do
    measure "$work" "$QVGET" --repeat "$REQUESTS" --parallel "$PARALLEL" "$url" > "$work/m.txt"
    keep_best qvget < "$work/m.txt"
    echo "  qvget round $round: $(head -1 "$work/cmd.stderr")"
    measure "$work" curl -s --http1.0 --cacert "$QUORVANE_CA_FILE" --parallel \
        --parallel-max "$PARALLEL" -K "$work/curl.cfg" > "$work/m.txt"
    keep_best curl10 < "$work/m.txt"
done

python3 - "$REQUESTS" "${BEST[qvget]}" "${BEST[curl10]}" <<'PY'
import sys
n = int(sys.argv[1])
rows = [("qvget https", sys.argv[2]), ("curl --http1.0", sys.argv[3])]
rates = {}
for name, figures in rows:
    wall, user, sys_ = map(float, figures.split())
    rates[name] = n / wall if wall > 0 else float("inf")
    print(f"{name:<16} {rates[name]:9.1f} req/s  {1000 * (user + sys_) / n:6.3f} ms CPU/request"
          f"  ({wall:.3f} s, user {user:.2f} s, system {sys_:.2f} s)")
print(f"qvget / curl --http1.0 over https: {rates['qvget https'] / rates['curl --http1.0']:.2f}")
PY
