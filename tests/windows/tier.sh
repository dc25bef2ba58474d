#!/usr/bin/env bash
# The Windows tier, run inside the Debian 13 root of scripts/windows-toolchain.sh
# (--run): /work/src is the source tree, /work/out is writable, /opt/win64 is
# the cross toolchain's prefix.
#  1. the Linux tools and tests the checks below drive (native build);
#  2. the project cross-built for Windows x86-64;
#  3. its unit tests under Wine (CTest runs each .exe through wine);
#  4. the Windows zip (scripts/package-windows.sh), unpacked into a fresh folder
#     and a fresh Wine prefix;
#  5. the Linux end-to-end tests against the unpacked Windows program, the
#     device simulator's pseudo-terminal appearing as a COM port;
#  6. the remote analyzer service tool against the test server.
# Ends with "N passed, N failed" over the checks of steps 3 to 6.
set -uo pipefail
src=/work/src out=/work/out
cd "$out"
passed=0 failed=0
failures=()
check() { # check NAME COMMAND...: runs one check and counts it
    local name="$1" t=$SECONDS
    shift
    echo "--- $name"
    if "$@"; then
        passed=$((passed + 1))
        echo "--- $name: passed ($((SECONDS - t)) s)"
    else
        failed=$((failed + 1))
        failures+=("$name")
        echo "--- $name: FAILED ($((SECONDS - t)) s)"
    fi
}
step() { echo "=== windows: $* ($SECONDS s)"; }
export CCACHE_BASEDIR=/work CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=3G

step "native tools and tests"
native_targets="Ulvexbackend ulvex-device-sim ulvex-dbtool ulvex-client
    tst_program tst_session tst_measurementsession tst_telemetrysession"
ULVEX_BUILD_TARGETS="$native_targets" bash "$src/scripts/build.sh" "$out/native" -DULVEX_BUILD_BENCH=OFF \
    >"$out/native-build.log" 2>&1 || { tail -n 40 "$out/native-build.log"; echo "0 passed, 1 failed"; exit 1; }
native="$out/native/bin"

step "cross build"
cmake -S "$src" -B "$out/win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$ULVEX_WIN64_TOOLCHAIN" -DCMAKE_PREFIX_PATH=/opt/win64 \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
    -DULVEX_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/Ulvexbackend >"$out/win-configure.log" 2>&1 \
    && cmake --build "$out/win" -j "$(nproc)" >"$out/win-build.log" 2>&1 \
    || { tail -n 60 "$out/win-configure.log" "$out/win-build.log"; echo "0 passed, 1 failed"; exit 1; }

step "Wine prefix"
wineboot -i >/dev/null 2>&1 || true
# One wine server for the whole tier: each start of a program is then quick.
wineserver -p
# The build's own bin folder first: its DLLs are the ones under test.
build_winepath="Z:${out//\//\\}\\win\\bin;$WINEPATH"
unit() {
    WINEPATH="$build_winepath" \
        ctest --test-dir "$out/win" --output-on-failure -L unit -j "$(nproc)"
}
check "unit tests under Wine" unit
# The serial layer's line tests need an echoing far end on a COM port.
serial_lines() {
    WINEPATH="$build_winepath" \
        bash "$src/tests/device/serialport/run-under-wine.sh" "$out/win/bin/tst_serialportwin.exe"
}
if [ -f "$out/win/bin/tst_serialportwin.exe" ]; then
    check "serial port layer against a pseudo-terminal" serial_lines
fi

step "Windows zip"
dlls=(/opt/win64/bin /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
zip="$(bash "$src/scripts/package-windows.sh" "$out/win" "$out/dist" "${dlls[@]}")"
rm -rf "$out/unpacked"
mkdir -p "$out/unpacked"
(cd "$out/unpacked" && unzip -q "$zip")
program="$(find "$out/unpacked" -name Ulvexbackend.exe | head -n 1)"
bin="$(dirname "$program")"
echo "zip: $zip ($(du -h "$zip" | cut -f1)), program: $program"

# From here on only what the zip holds: a fresh prefix, no WINEPATH.
wineserver -k 2>/dev/null || true
export WINEPREFIX="$out/clean-prefix"
unset WINEPATH
wineboot -i >/dev/null 2>&1 || true
wineserver -p

step "end-to-end tests against the Windows program"
export ULVEX_TEST_PROGRAM="$src/tests/windows/wine-program.sh" ULVEX_WINE_PROGRAM="$program"
e2e() { # e2e EXE FUNCTION...
    local exe="$1"
    shift
    (cd "$out/native" && "$native/$exe" "$@")
}
# Every row but the 50000-character argument: Windows' command line holds
# 32767 characters, so that one cannot even be started there.
exit_rows=()
for row in "-v" "--version with args" "nothing" "time only" "code only" "bad number" "undeclared option" \
        "over-long argument beside -v" "argument at the length bound" "unknown code" "tomorrow" "two days ago" \
        "named form" "positional form" "1001 names 1000's edition"; do
    exit_rows+=("exitCodes:$row")
done
check "program: exit codes" e2e tst_program "${exit_rows[@]}"
check "program: log file name and folder" e2e tst_program logFileNameAndFolder
check "session: greeting follows the device reset" e2e tst_session greetingFollowsDeviceReset
check "session: exit closes and ends with 0" e2e tst_session exitClosesAndEndsWithZero
check "telemetry: greeting before silent servers answer" e2e tst_telemetrysession greetingBeforeSilentServersAnswer
check "measurement: 40 s measurement, save, rows read with sqlcipher" e2e tst_measurementsession measureSaveAndCheckRows
check "telemetry over HTTPS through Schannel" bash "$src/tests/windows/https-telemetry.sh" "$program" "$native/ulvex-device-sim"
check "single instance: a stale instance ends with status 9" bash "$src/tests/windows/single-instance.sh" "$program"

step "remote service"
remote_rows() {
    ULVEX_BUILD_TARGETS="analyzer_peer tst_remotetool" bash "$src/scripts/build.sh" "$out/native" \
        >>"$out/native-build.log" 2>&1 || { tail -n 40 "$out/native-build.log"; return 1; }
}
if [ ! -f "$bin/ulvex-remote.exe" ]; then
    # Qt's Protobuf and Grpc modules are not in the toolchain (their sources
    # could not be had), so the Windows build has no remote service.
    echo "remote service: not in this Windows build (no Qt Protobuf/Grpc in the toolchain)"
elif check "remote: test server and suite built" remote_rows; then
    export ULVEX_TEST_REMOTE_TOOL="$src/tests/windows/wine-remote.sh" ULVEX_WINE_REMOTE_TOOL="$bin/ulvex-remote.exe"
    for row in "download replaces the file" "chunk that does not decode" "reply that does not decode" \
            "stalled stream, idle limit" "file missing on the server" "chunk over 4 MiB"; do
        check "remote tool: $row" e2e tst_remotetool "run:$row"
    done
fi

wineserver -k 2>/dev/null || true
step "done"
[ ${#failures[@]} -eq 0 ] || printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
