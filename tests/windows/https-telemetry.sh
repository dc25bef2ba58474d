#!/usr/bin/env bash
# Telemetry over HTTPS through Windows' own TLS (Schannel, as Wine provides
# it): the Windows program, under Wine, with the device simulator on a COM
# port, probes a loopback report server with a certificate of a test
# authority, asks it for the public address and posts its report there.
# The authority is trusted the way Windows trusts one: through the system's
# root store, which Wine fills from the Linux list (only this root's copy is
# changed; the tier's root is thrown away afterwards).
# Usage: https-telemetry.sh PATH/Ulvexbackend.exe SIMULATOR
set -euo pipefail
program="$1" simulator="$2"
dir="$(mktemp -d)"
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.crt -days 2 \
    -subj /CN=ulvex-test-authority -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr \
    -subj /CN=127.0.0.1 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >ext.cnf
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 \
    -extfile ext.cnf 2>/dev/null
cat ca.crt >>/etc/ssl/certs/ca-certificates.crt

python3 "$(dirname "$0")/reportserver.py" server.crt server.key >server.log 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q "^port " server.log && break; sleep 0.1; done
port="$(sed -n 's/^port //p' server.log)"
[ -n "$port" ] || { echo "the report server did not start"; cat server.log; exit 1; }

"$simulator" --port-file port >sim.log 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s port ] && break; sleep 0.1; done
export WINEPREFIX="$dir/prefix" WINEDEBUG=-all
wineboot -i >/dev/null 2>&1 || true
ln -sfn "$(cat port)" "$WINEPREFIX/dosdevices/com20"
mkdir -p work
(cd work && ULVEX_DEVICE_PORT=COM20 ULVEX_BACKEND_LOG_LEVEL=trace \
    ULVEX_REPORT_SERVER="https://127.0.0.1:$port" ULVEX_PUBLIC_IP_SERVICES="https://127.0.0.1:$port/ip" \
    exec wine "$program" "$(date +%s)" 1000 >"$dir/program.txt" 2>&1) &
pids+=($!)
# A frontend connects (the telemetry step runs once per connection) and stays.
python3 - "$dir/program.txt" <<'PY'
import socket, sys, time
for _ in range(300):
    try:
        s = socket.create_connection(("127.0.0.1", 2700), timeout=1)
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit("the program never listened")
s.settimeout(15)
greeting = s.recv(5)
print("greeting", greeting.hex())
time.sleep(6)
PY
grep -qx "GET /" server.log || { echo "no connectivity probe over HTTPS"; cat server.log; exit 1; }
grep -q "^POST /reports/analyzer/ " server.log || {
    echo "no report posted over HTTPS"; cat server.log; grep -i telemetr "$dir/program.txt" || true; exit 1; }
grep -q '"analyzer_version": "SIM' server.log || { echo "the report lacks the device's identity"; cat server.log; exit 1; }
grep -q '"ip_address": "192.0.2.44"' server.log || { echo "the address from the HTTPS service is missing"; cat server.log; exit 1; }
# GlobalMemoryStatusEx's total, in GiB with two decimals (never the 2^64 - 1 of a failed call).
grep -qE 'totalVirtualMemory\\":\\"[0-9]+\.[0-9]{2}\\"' server.log && ! grep -q '17179869184.00' server.log \
    || { echo "no total memory in the report"; cat server.log; exit 1; }
echo "probe, address and report reached the HTTPS server through Schannel"
