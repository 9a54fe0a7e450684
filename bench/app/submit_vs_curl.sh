#!/usr/bin/env bash
# Throughput of a whole submission run: `quorvane --submit` sending 10 engine
# lines x 100 pages (1,000 GETs, six clients, every answer logged with its
# memo and both indexes maintained) against curl fetching the same 1,000
# addresses with six parallel transfers over HTTP/1.0, from a private nginx on
# a free loopback port.
#
#   bench/app/submit_vs_curl.sh [PATH/TO/quorvane]
#
# Prints both wall times, requests per second and the ratio.
set -euo pipefail

QUORVANE=${1:-build/app/quorvane}
LINES=10
PAGES=100

[ -x "$QUORVANE" ] || { echo "quorvane not found at $QUORVANE" >&2; exit 2; }
QUORVANE=$(readlink -f "$QUORVANE")
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$NGINX" ] || { echo "nginx is not installed" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 2; }

work=$(mktemp -d)
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

chmod 755 "$work"
mkdir -p "$work/www" "$work/tmp" "$work/home" "$work/config"
python3 -c 'print("<html><body>" + "quorvane benchmark answer " * 40 + "</body></html>")' \
    > "$work/www/answer.html"
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
        # Every engine address answers with the same page.
        location / { try_files /answer.html =404; }
    }
}
CONF
"$NGINX" -p "$work" -c "$work/nginx.conf" 2>"$work/nginx.stderr" &
nginx_pid=$!
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/answer.html" && break
    sleep 0.1
done

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

now() { date +%s.%N; }

start=$(now)
QUORVANE_HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    "$QUORVANE" --submit "$work/site.ini" --engines "$work/engines.txt" 2>/dev/null
quorvane_s=$(python3 -c "print($(now) - $start)")

start=$(now)
curl -s --http1.0 --parallel --parallel-max 6 -K "$work/urls.txt" 2>/dev/null
curl_s=$(python3 -c "print($(now) - $start)")

requests=$((LINES * PAGES))
python3 - "$requests" "$quorvane_s" "$curl_s" <<'PY'
import sys
n, q, c = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
print("quorvane --submit: %d requests in %.2f s, %.0f per second (logging included)" % (n, q, n / q))
print("curl --parallel-max 6: %d requests in %.2f s, %.0f per second" % (n, c, n / c))
print("ratio quorvane/curl throughput: %.2f" % (c / q))
PY
