# Shared by the benchmark scripts (source it): timing a command and keeping
# the fastest of several rounds, for a machine that other work may share.
#
#   measure OUTDIR COMMAND...   runs it with stdout discarded, prints
#                               "wall user system" in seconds; stops the
#                               script (printing its stderr) if it fails
#   keep_best NAME              reads such a line on stdin and keeps it in
#                               BEST[NAME] when its wall time is the lowest
#
# measure leaves the command's stderr in OUTDIR/cmd.stderr. ROUNDS (from the
# environment, default 5) is how many rounds the scripts run.

ROUNDS=${ROUNDS:-5}
declare -A BEST

measure() {
    local out=$1 start end
    shift
    start=$(date +%s.%N)
    /usr/bin/time -f "%U %S" -o "$out/time.txt" "$@" >/dev/null 2>"$out/cmd.stderr" ||
        { cat "$out/cmd.stderr" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$(python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.6f}')" "$start" "$end") $(tail -1 "$out/time.txt")"
}

keep_best() {
    local name=$1 wall user sys
    read -r wall user sys
    if [ -z "${BEST[$name]:-}" ] || python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < float(sys.argv[2]) else 1)" "$wall" "${BEST[$name]%% *}"; then
        BEST[$name]="$wall $user $sys"
    fi
}
