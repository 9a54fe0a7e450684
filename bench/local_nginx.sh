# Shared by the benchmark scripts (source it): a private nginx on a free
# port of 127.0.0.1, serving the folder WORK/www, with its configuration,
# logs and temporary files in WORK.
#
#   local_nginx_start WORK [LOCATION_BLOCK]   sets NGINX_PORT and NGINX_PID
#   local_nginx_stop                          stops it (safe to call twice)
#
# LOCATION_BLOCK goes into the server block as it is, e.g.
# 'location / { try_files /answer.html =404; }'.

local_nginx_start() {
    local work=$1 locations=${2:-}
    local nginx
    nginx=$(command -v nginx || echo /usr/sbin/nginx)
    [ -x "$nginx" ] || { echo "nginx is not installed" >&2; return 2; }
    command -v python3 >/dev/null || { echo "python3 is not installed" >&2; return 2; }
    command -v curl >/dev/null || { echo "curl is not installed" >&2; return 2; }
    # nginx workers may run as another user: the folders must be readable.
    chmod 755 "$work"
    mkdir -p "$work/www" "$work/tmp"
    chmod -R a+rX "$work/www"
    NGINX_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
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
        listen 127.0.0.1:$NGINX_PORT;
        root $work/www;
        $locations
    }
}
CONF
    "$nginx" -p "$work" -c "$work/nginx.conf" 2>"$work/nginx.stderr" &
    NGINX_PID=$!
    # Any answer, even 404, means it is up.
    curl -s -o /dev/null --retry 40 --retry-connrefused --retry-delay 1 --max-time 60 \
        "http://127.0.0.1:$NGINX_PORT/" ||
        { echo "nginx did not start:" >&2; cat "$work/nginx.stderr" "$work/error.log" >&2; return 1; }
}

local_nginx_stop() {
    if [ -n "${NGINX_PID:-}" ]; then
        kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
        NGINX_PID=
    fi
    return 0
}
