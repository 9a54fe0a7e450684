#!/usr/bin/env bash
# Throughput of the HTTP client: qvget (THttpCli, six clients on one event
# loop) against curl with six parallel transfers, both fetching the same
# small static file the same number of times from a private nginx on a free
# loopback port. Both speak HTTP/1.0, one connection per request, as the
# submission run does; curl's keep-alive figure is printed for reference.
#
#   bench/net/qvget_vs_curl.sh [PATH/TO/qvget] [REQUESTS]
#
# Prints requests per second, CPU milliseconds per request and the ratio.
set -euo pipefail

QVGET=${1:-build/tools/qvget/qvget}
REQUESTS=${2:-1000}
PARALLEL=6

[ -x "$QVGET" ] || { echo "qvget not found at $QVGET" >&2; exit 2; }
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$NGINX" ] || { echo "nginx is not installed" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is not installed" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 2; }

work=$(mktemp -d)
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# nginx workers may run as another user: the folder must be readable.
chmod 755 "$work"
mkdir -p "$work/www" "$work/tmp"
python3 -c 'print("<html><body>" + "quorvane benchmark page " * 40 + "</body></html>")' \
    > "$work/www/small.html"
chmod -R a+rX "$work/www"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

cat > "$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    server {
        listen 127.0.0.1:$port;
        root $work/www;
    }
}
CONF
"$NGINX" -p "$work" -c "$work/nginx.conf" 2>"$work/nginx.stderr" &
nginx_pid=$!

url="http://127.0.0.1:$port/small.html"
curl -s -o /dev/null --retry 40 --retry-connrefused --retry-delay 1 --max-time 60 "$url" ||
    { echo "nginx did not start:" >&2; cat "$work/nginx.stderr" "$work/error.log" >&2; exit 1; }

for _ in $(seq "$REQUESTS"); do
    printf 'url = "%s"\noutput = "/dev/null"\n' "$url"
done > "$work/curl.cfg"

# Runs the command, prints "wall user system" seconds: the wall clock to
# the microsecond around the run, CPU as the kernel counts it for the
# command (a small C launcher, so that starting it costs next to nothing).
measure() {
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -f "%U %S" -o "$work/time.txt" "$@" >/dev/null 2>"$work/cmd.stderr" ||
        { cat "$work/cmd.stderr" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$(python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.6f}')" "$start" "$end") $(cat "$work/time.txt")"
}

# The machine may be shared: every contender runs ROUNDS times, the rounds
# interleaved, and the fastest round of each counts.
ROUNDS=${ROUNDS:-5}
declare -A best
keep_best() {
    local name=$1 wall user sys
    read -r wall user sys
    if [ -z "${best[$name]:-}" ] || python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < float(sys.argv[2]) else 1)" "$wall" "${best[$name]%% *}"; then
        best[$name]="$wall $user $sys"
    fi
}

echo "$REQUESTS requests of $url, $PARALLEL at a time, best of $ROUNDS rounds"
for round in $(seq "$ROUNDS"); do
    measure "$QVGET" --repeat "$REQUESTS" --parallel "$PARALLEL" "$url" > "$work/m.txt"
    keep_best qvget < "$work/m.txt"
    echo "  qvget round $round: $(cat "$work/cmd.stderr")"
    measure curl -s --http1.0 --parallel --parallel-max "$PARALLEL" -K "$work/curl.cfg" > "$work/m.txt"
    keep_best curl10 < "$work/m.txt"
    measure curl -s --parallel --parallel-max "$PARALLEL" -K "$work/curl.cfg" > "$work/m.txt"
    keep_best curl11 < "$work/m.txt"
done

python3 - "$REQUESTS" "${best[qvget]}" "${best[curl10]}" "${best[curl11]}" <<'PY'
import sys
n = int(sys.argv[1])
rows = [("qvget (HTTP/1.0)", sys.argv[2]), ("curl --http1.0", sys.argv[3]),
        ("curl keep-alive (reference)", sys.argv[4])]
rates = {}
for name, figures in rows:
    wall, user, sys_ = map(float, figures.split())
    rates[name] = n / wall if wall > 0 else float("inf")
    print(f"{name:<28} {rates[name]:9.1f} req/s  {1000 * (user + sys_) / n:6.3f} ms CPU/request"
          f"  (whole process {wall:.3f} s)")
q = rates["qvget (HTTP/1.0)"]
print(f"qvget / curl --http1.0: {q / rates['curl --http1.0']:.2f}   "
      f"qvget / curl keep-alive: {q / rates['curl keep-alive (reference)']:.2f}")
PY
