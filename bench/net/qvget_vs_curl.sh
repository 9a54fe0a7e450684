#!/usr/bin/env bash
# Throughput of the HTTP client: qvget (THttpCli, six clients on one event
# loop) against curl with six parallel transfers, both fetching the same
# small static file the same number of times from a private nginx on a free
# loopback port. qvget speaks HTTP/1.0, one connection per request, as the
# submission run does; curl runs twice, with --http1.0 (the same work) and
# with its default keep-alive connections (the issue's yardstick).
#
#   bench/net/qvget_vs_curl.sh [PATH/TO/qvget] [REQUESTS]
#
# ROUNDS (default 5) rounds, interleaved; the fastest round of each counts.
# Prints requests per second, CPU milliseconds per request and the ratios.
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
mkdir -p "$work/www"
python3 -c 'print("<html><body>" + "quorvane benchmark page " * 40 + "</body></html>")' \
    > "$work/www/small.html"
local_nginx_start "$work"

url="http://127.0.0.1:$NGINX_PORT/small.html"
for _ in $(seq "$REQUESTS"); do
    printf 'url = "%s"\noutput = "/dev/null"\n' "$url"
done > "$work/curl.cfg"

echo "$REQUESTS requests of $url, $PARALLEL at a time, best of $ROUNDS rounds"
for round in $(seq "$ROUNDS"); do
    measure "$work" "$QVGET" --repeat "$REQUESTS" --parallel "$PARALLEL" "$url" > "$work/m.txt"
    keep_best qvget < "$work/m.txt"
    echo "  qvget round $round: $(cat "$work/cmd.stderr")"
    measure "$work" curl -s --http1.0 --parallel --parallel-max "$PARALLEL" -K "$work/curl.cfg" \
        > "$work/m.txt"
    keep_best curl10 < "$work/m.txt"
    measure "$work" curl -s --parallel --parallel-max "$PARALLEL" -K "$work/curl.cfg" > "$work/m.txt"
    keep_best curl11 < "$work/m.txt"
done

python3 - "$REQUESTS" "${BEST[qvget]}" "${BEST[curl10]}" "${BEST[curl11]}" <<'PY'
import sys
n = int(sys.argv[1])
rows = [("qvget (HTTP/1.0)", sys.argv[2]), ("curl --http1.0", sys.argv[3]),
        ("curl keep-alive", sys.argv[4])]
rates = {}
for name, figures in rows:
    wall, user, sys_ = map(float, figures.split())
    rates[name] = n / wall if wall > 0 else float("inf")
    print(f"{name:<18} {rates[name]:9.1f} req/s  {1000 * (user + sys_) / n:6.3f} ms CPU/request"
          f"  ({wall:.3f} s, user {user:.2f} s, system {sys_:.2f} s)")
q = rates["qvget (HTTP/1.0)"]
print(f"qvget / curl --http1.0: {q / rates['curl --http1.0']:.2f}   "
      f"qvget / curl keep-alive: {q / rates['curl keep-alive']:.2f}")
PY
