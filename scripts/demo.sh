#!/usr/bin/env bash
# The main job: one whole measurement against the device simulator, driven by
# the command-line frontend, ending with the saved report.
# Installs what is missing and builds first: only the program, its library
# and the three tools the run uses (no test suites, no benchmarks).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
ULVEX_BUILD_TARGETS="Ulvexbackend UlvexbackendLib ulvex-device-sim ulvex-client ulvex-dbtool" \
    bash scripts/build.sh "$root/build"
bin="$root/build/bin"

run="$root/build/demo"
rm -rf "$run"
# The program looks for parameters.db at ../../../data/common from its working directory.
mkdir -p "$run/data/common" "$run/personal" "$run/app/bin/work"
"$bin/ulvex-dbtool" create-parameters "$run/data/common/parameters.db"
"$bin/ulvex-dbtool" create-personal "$run/personal/personal.db"
person=$("$bin/ulvex-dbtool" add-person "$run/personal/personal.db" "Demo Person" 1985-04-12 Female 170 64 | awk '{print $NF}')
echo "demo: person id $person"

"$bin/ulvex-device-sim" --port-file "$run/port" > "$run/simulator.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$run/port" ] && break; sleep 0.1; done
port=$(cat "$run/port")
echo "demo: simulated device on $port"

cd "$run/app/bin/work"
export ULVEX_DEVICE_PORT="$port"
export ULVEX_BACKEND_LOG_LEVEL="${ULVEX_BACKEND_LOG_LEVEL:-info}"
"$bin/ulvex-client" --launch "$bin/Ulvexbackend" --code 1000 \
    "setdb:$run/personal" init state "measure:$person" exit

echo
echo "demo: saved reports"
"$bin/ulvex-dbtool" list-reports "$run/personal/personal.db" "$run/data/common/parameters.db" | tee "$run/reports.txt"

# The last report's header line is "Report <id>  date ...  score <s>"; its
# results end with "  <n> results".
read -r report score < <(awk '/^Report /{id=$2; score=$NF} END{print id, score}' "$run/reports.txt")
results=$(awk '/^  [0-9]+ results$/{n=$1} END{print n}' "$run/reports.txt")
echo
echo "=== demo summary ==="
echo "report id:   ${report:-none}"
echo "results:     ${results:-0}"
echo "score:       ${score:-none}"
echo "databases:   $run/personal/personal.db"
echo "             $run/data/common/parameters.db"
echo "logs:        ${XDG_DATA_HOME:-$HOME/.local/share}/Ulvex Analyzer/logs/"
