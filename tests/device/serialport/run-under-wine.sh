#!/usr/bin/env bash
# Runs tst_serialportwin under Wine against a pseudo-terminal that echoes,
# made a COM port of the Wine prefix (WINEPREFIX, WINEPATH as for any test).
#   run-under-wine.sh TEST_EXE [QtTest options...]
set -u
here="$(cd "$(dirname "$0")" && pwd)"
port=COM20
wineboot --init >/dev/null 2>&1
wineserver --wait
log="$(mktemp)"
python3 "$here/echopeer.py" "$port" >"$log" 2>&1 &
peer=$!
trap 'kill $peer 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do grep -q ready "$log" && break; sleep 0.1; done
# Wine lists a port in the serial device map when its prefix names it here.
wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$(readlink "$WINEPREFIX/dosdevices/${port,,}")" /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1; wineserver -w
out="$(mktemp)"
ULVEX_TEST_SERIAL_PORT=$port timeout 120 wine "$@" -o "$out,txt"
rc=$?
tr -d '\r' <"$out"
rm -f "$out"
exit $rc
