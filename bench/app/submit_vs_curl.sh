#!/usr/bin/env bash
# Throughput of a whole submission run: `quorvane --submit` sending 10 engine
# lines x 100 pages (1,000 GETs, six clients, every answer logged with its
# memo and both indexes maintained) against curl fetching the same 1,000
# addresses with six parallel transfers over HTTP/1.0, from a private nginx on
# a free loopback port.
#
#   bench/app/submit_vs_curl.sh [PATH/TO/quorvane]
#
# ROUNDS (default 5) rounds, interleaved, each run starting from an empty
# log; the fastest round of each counts. Prints wall and CPU time, requests
# per second and the ratio.
set -euo pipefail

QUORVANE=${1:-build/app/quorvane}
LINES=10
PAGES=100
PARALLEL=6
BENCH=$(cd "$(dirname "$0")/.." && pwd)
source "$BENCH/local_nginx.sh"
source "$BENCH/best_of_rounds.sh"

[ -x "$QUORVANE" ] || { echo "quorvane not found at $QUORVANE" >&2; exit 2; }
QUORVANE=$(readlink -f "$QUORVANE")

work=$(mktemp -d)
trap 'local_nginx_stop; rm -rf "$work"' EXIT
mkdir -p "$work/www" "$work/config"
python3 -c 'print("<html><body>" + "quorvane benchmark answer " * 40 + "</body></html>")' \
    > "$work/www/answer.html"
# Every engine address answers with the same page.
local_nginx_start "$work" 'location / { try_files /answer.html =404; }'
port=$NGINX_PORT

# The engines list, the profile and curl's list of the same addresses.
: > "$work/engines.txt"
: > "$work/urls.txt"
{ printf 'bench@example.org\r\nBench\r\n\r\n'; for p in $(seq $PAGES); do printf 'page%d.html\r\n' "$p"; done; } \
    > "$work/site.ini"
for e in $(seq $LINES); do
    printf 'GEThttp://127.0.0.1:%d/engine%d?q=##url\r\n' "$port" "$e" >> "$work/engines.txt"
    for p in $(seq $PAGES); do
        echo "url = \"http://127.0.0.1:$port/engine$e?q=page$p.html\"" >> "$work/urls.txt"
        echo "output = /dev/null" >> "$work/urls.txt"
    done
done


requests=$((LINES * PAGES))
echo "$requests requests ($LINES engine lines x $PAGES pages), $PARALLEL at a time, best of $ROUNDS rounds"
for round in $(seq "$ROUNDS"); do
    rm -rf "$work/home"
    mkdir -p "$work/home"
    measure "$work" env QUORVANE_HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
        "$QUORVANE" --submit "$work/site.ini" --engines "$work/engines.txt" > "$work/m.txt"
    keep_best quorvane < "$work/m.txt"
    echo "  quorvane round $round: $(tail -1 "$work/cmd.stderr")"
    measure "$work" curl -s --http1.0 --parallel --parallel-max "$PARALLEL" -K "$work/urls.txt" \
        > "$work/m.txt"
    keep_best curl < "$work/m.txt"
done

python3 - "$requests" "${BEST[quorvane]}" "${BEST[curl]}" <<'PY'
import sys
n = int(sys.argv[1])
rates = {}
for name, figures in (("quorvane --submit", sys.argv[2]), ("curl --http1.0", sys.argv[3])):
    wall, user, sys_ = map(float, figures.split())
    rates[name] = n / wall
    print(f"{name:<18} {rates[name]:7.0f} req/s  {1000 * (user + sys_) / n:6.3f} ms CPU/request"
          f"  ({wall:.3f} s, user {user:.2f} s, system {sys_:.2f} s)")
print(f"ratio quorvane/curl throughput: {rates['quorvane --submit'] / rates['curl --http1.0']:.2f}"
      " (logging included)")
PY
