#!/usr/bin/env bash
# The main job: one whole measurement against the device simulator, driven by
# the command-line frontend, ending with the saved report.
# Installs what is missing and builds first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
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
"$bin/ulvex-dbtool" list-reports "$run/personal/personal.db" "$run/data/common/parameters.db"
