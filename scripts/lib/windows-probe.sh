# Sourced by windows-build.sh: cross-builds cmake/windows/probe with the
# prefix's toolchain file and runs it under Wine; then opens the encrypted
# database it made with Debian's own sqlcipher, which must read it back.

# The lines the probe must print; those of a Qt module the prefix lacks say so.
probe_lines() {
    echo '^probe: qt 6\.8\.'
    echo '^probe: sql drivers:'
    echo '^probe: tls backends: .*schannel.*; active: schannel;'
    echo '^probe: sqlcipher 4\.[0-9.]+ .*provider libtomcrypt; wrong key: .+; read back: hello$'
    echo '^probe: spdlog [0-9.]+ with fmt [0-9]+$'
    echo '^probe: all ok$'
    if [ -d "$prefix/lib/cmake/Qt6SerialPort" ]; then
        echo '^probe: serial ports [0-9]+:'
    else
        echo '^probe: serial ports: no QtSerialPort'
    fi
    if [ -d "$prefix/lib/cmake/Qt6Grpc" ]; then
        echo '^probe: protobuf round trip of [0-9]+ bytes ok$'
        echo '^probe: grpc channel to http://127\.0\.0\.1:2700 ok$'
    else
        echo '^probe: protobuf and grpc: no QtProtobuf'
    fi
}

probe_build_and_run() {
    local b=/work/build/probe t
    rm -rf "$b"
    t=$SECONDS
    cmake -S /work/src/cmake/windows/probe -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_PREFIX_PATH="$prefix" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
    cmake --build "$b" -j "$jobs"
    echo "probe built in $((SECONDS - t)) s"
    t=$SECONDS
    wineboot --init
    wineserver --wait
    echo "wine prefix made in $((SECONDS - t)) s"
    t=$SECONDS
    cd "$b"
    wine windows-probe.exe --db probe.db | tr -d '\r' | tee probe.out
    echo "probe ran in $((SECONDS - t)) s"
    local re
    while read -r re; do
        grep -qE "$re" probe.out || { echo "probe: missing a line like: $re"; return 1; }
    done < <(probe_lines)
    # The same file through Debian's Linux build (OpenSSL provider).
    local linux
    linux="$(printf "PRAGMA key = 'probe-secret';\nSELECT v FROM t;\n" | sqlcipher probe.db 2>&1 | tr -d '\r')"
    echo "linux sqlcipher read: $(echo "$linux" | tr '\n' ' ')"
    echo "$linux" | grep -qx hello || { echo "probe: Linux sqlcipher cannot read the database"; return 1; }
    grep '^probe:' probe.out >/work/logs/probe.lines
    echo "linux sqlcipher reads the database made on Windows" >>/work/logs/probe.lines
}

run_probe() {
    local t=$SECONDS
    say "probe: cross-building and running under Wine (log /work/logs/probe.log)"
    local rc=0
    (probe_build_and_run) >/work/logs/probe.log 2>&1 & # errexit holds in the background
    wait $! || rc=$?
    if [ $rc != 0 ]; then
        grep -m 20 -iE 'error|fatal|failed|missing|probe:' /work/logs/probe.log >&2 || tail -n 20 /work/logs/probe.log >&2
        die "probe failed after $((SECONDS - t)) s"
    fi
    sed 's/^/    /' /work/logs/probe.lines >&2
    say "probe: passed in $((SECONDS - t)) s"
}
