#!/usr/bin/env bash
# A second start of the Windows program under Wine ends the running one
# through the process snapshot and TerminateProcess: the first ends with
# status 9 and the second goes on (here: prints its version, exit code 0).
# Usage: single-instance.sh PATH/Ulvexbackend.exe
set -euo pipefail
program="$1"
dir="$(mktemp -d)"
first=""
trap '[ -z "$first" ] || kill "$first" 2>/dev/null || true; rm -rf "$dir"' EXIT
export ULVEX_REPORT_SERVER=http://127.0.0.1:9 ULVEX_BACKEND_LOG_LEVEL=trace
unset ULVEX_DEVICE_PORT
cd "$dir"
wine "$program" "$(date +%s)" 1000 >first.txt 2>&1 &
first=$!
# Running once its guard is held: it then waits for the frontend on port 2700.
for _ in $(seq 300); do
    grep -q "Server is listening" first.txt 2>/dev/null && break
    kill -0 "$first" 2>/dev/null || { echo "the first instance ended early:"; cat first.txt; exit 1; }
    sleep 0.1
done
status=0
wine "$program" -v >second.txt 2>&1 || status=$?
cat second.txt
[ "$status" -eq 0 ] || { echo "second instance: exit code $status, expected 0"; exit 1; }
grep -q "an UlvexBackend process is already running" second.txt \
    || { echo "second instance did not find the first"; exit 1; }
status=0
wait "$first" || status=$?
first=""
[ "$status" -eq 9 ] || { echo "first instance: exit status $status, expected 9"; cat first.txt; exit 1; }
echo "first instance ended with status 9"
