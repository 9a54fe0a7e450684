#!/usr/bin/env bash
# Whether a run's cost depends on the size of the log: `quorvane --submit`
# sending 10 engine lines x 100 pages (1,000 GETs, six clients) to a private
# nginx on a free loopback port, once into an empty log and once into a log
# that already holds RECORDS records (default 100,000) with 1 KB answers.
#
#   bench/app/run_vs_log_size.sh [PATH/TO/quorvane] [PATH/TO/bench_app_log]
#
# The big log is made once with the engine (bench_app_log make); each round
# copies it into a fresh program folder and opens and closes it once, as the
# run before would have left it (not timed). ROUNDS (default 5) rounds,
# interleaved; the fastest round of each counts. Prints both wall times and
# their ratio (target: at most 1.5).
set -euo pipefail

QUORVANE=${1:-build/app/quorvane}
BENCH_LOG=${2:-build/bench/app/bench_app_log}
RECORDS=${RECORDS:-100000}
LINES=10
PAGES=100
BENCH=$(cd "$(dirname "$0")/.." && pwd)
source "$BENCH/local_nginx.sh"
source "$BENCH/best_of_rounds.sh"

for program in "$QUORVANE" "$BENCH_LOG"; do
    [ -x "$program" ] || { echo "not found: $program" >&2; exit 2; }
done
QUORVANE=$(readlink -f "$QUORVANE")
BENCH_LOG=$(readlink -f "$BENCH_LOG")

work=$(mktemp -d)
trap 'local_nginx_stop; rm -rf "$work"' EXIT
mkdir -p "$work/www" "$work/config" "$work/big"
python3 -c 'print("<html><body>" + "quorvane benchmark answer " * 40 + "</body></html>")' \
    > "$work/www/answer.html"
local_nginx_start "$work" 'location / { try_files /answer.html =404; }'
port=$NGINX_PORT

: > "$work/engines.txt"
{ printf 'bench@example.org\r\nBench\r\n\r\n'; for p in $(seq $PAGES); do printf 'page%d.html\r\n' "$p"; done; } \
    > "$work/site.ini"
for e in $(seq $LINES); do
    printf 'GEThttp://127.0.0.1:%d/engine%d?q=##url\r\n' "$port" "$e" >> "$work/engines.txt"
done

echo "making a log of $RECORDS records..."
env QUORVANE_HOME="$work/big" "$BENCH_LOG" make "$work/big" "$RECORDS"
echo "  $(du -sh "$work/big" | cut -f1) in $(ls "$work/big" | tr '\n' ' ')"

# Runs one submission into the program folder $work/home; prints the figures.
submit_once() {
    measure "$work" env QUORVANE_HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
        "$QUORVANE" --submit "$work/site.ini" --engines "$work/engines.txt"
}

requests=$((LINES * PAGES))
echo "$requests requests ($LINES engine lines x $PAGES pages), best of $ROUNDS rounds"
for round in $(seq "$ROUNDS"); do
    rm -rf "$work/home" && mkdir -p "$work/home"
    submit_once > "$work/m.txt"
    keep_best empty < "$work/m.txt"
    echo "  round $round, empty log:       $(cut -d' ' -f1 "$work/m.txt") s"

    rm -rf "$work/home" && cp -a "$work/big" "$work/home"
    env QUORVANE_HOME="$work/home" "$BENCH_LOG" reopen "$work/home"
    submit_once > "$work/m.txt"
    keep_best big < "$work/m.txt"
    echo "  round $round, $RECORDS-record log: $(cut -d' ' -f1 "$work/m.txt") s"
done

python3 - "$RECORDS" "${BEST[empty]}" "${BEST[big]}" <<'PY'
import sys
records = int(sys.argv[1])
empty = list(map(float, sys.argv[2].split()))
big = list(map(float, sys.argv[3].split()))
for name, (wall, user, sys_) in (("empty log", empty), (f"{records}-record log", big)):
    print(f"{name:<20} {wall:7.3f} s wall  (user {user:.2f} s, system {sys_:.2f} s)")
print(f"ratio big/empty: {big[0] / empty[0]:.2f} (target at most 1.5)")
PY
