#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test,
# checks the Debian package on a clean Debian root, then runs the tests again
# under AddressSanitizer and UBSan, then runs every fuzz target for a short time;
# on a Debian 12 host it ends with the whole suite in a Debian 13 root.
# Usage: scripts/test.sh           everything (the CI's command)
#        scripts/test.sh --quick   plain build, unit tests only (the inner loop)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
quick=0
case "${1:-}" in
    --quick) quick=1 ;;
    "") ;;
    *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

# Unit suites four at a time (ULVEX_UNIT_JOBS): the longest ones mostly wait
# on serial-line time-outs and short measurements (tst_v2device_faults: 30 s
# of wall time for 0.3 s of CPU).
unit_jobs="${ULVEX_UNIT_JOBS:-4}"

bash scripts/install-deps.sh

suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"

# The Debian roots of the later tiers are made (or found in the cache) in the
# background while the plain tree builds and is tested: making one is mostly
# waiting on the mirror and unpacking. Each tier still asks for its root
# itself (the cache's lock makes it wait for one still being made) and reports
# a failure there; this log only says what the early start did.
prefetch_roots() {
    bash scripts/debian-root.sh --cached "$suite"
    if [ "$suite" = bookworm ]; then
        local packages
        mapfile -t packages < <(bash scripts/install-deps.sh --list 13)
        bash scripts/debian-root.sh --cached trixie "${packages[@]}"
        bash scripts/debian-root.sh --cached trixie
    fi
}
prefetch_pid=
if [ $quick = 0 ]; then
    mkdir -p "$root/build"
    setsid bash -c "$(declare -f prefetch_roots); suite=$suite; prefetch_roots" \
        >"$root/build/prefetch-roots.log" 2>&1 </dev/null &
    prefetch_pid=$!
    # A root half made when the run ends is made again from nothing next time.
    trap '[ -z "$prefetch_pid" ] || kill -TERM -- "-$prefetch_pid" 2>/dev/null || true' EXIT
fi

# Each tier's heading says how far into the run it starts.
tier() { echo "=== $1 === (at $((SECONDS / 60)) min $((SECONDS % 60)) s)"; }

# e2e_beside DIR WHAT COMMAND...: DIR's end-to-end entries run in the
# background while COMMAND (WHAT, for the log) runs; their output follows
# COMMAND's. Fails when either failed.
e2e_beside() {
    local dir="$1" what="$2" rc=0 e2e_rc=0 e2e_pid
    shift 2
    (cd "$dir" && ctest --output-on-failure -L e2e -j "${ULVEX_E2E_JOBS:-6}") >"$dir/e2e.log" 2>&1 &
    e2e_pid=$!
    "$@" || rc=$?
    wait "$e2e_pid" || e2e_rc=$?
    tier "end-to-end tests of ${dir#"$root"/} (ran beside $what)"
    cat "$dir/e2e.log"
    [ $rc -eq 0 ] || { echo "test: $what failed ($rc)" >&2; return "$rc"; }
    return "$e2e_rc"
}

tier "plain build"
# Prefix /usr from the start: the package is made from this tree.
bash scripts/build.sh "$root/build" -DCMAKE_INSTALL_PREFIX=/usr
if [ $quick = 1 ]; then
    (cd "$root/build" && ctest --output-on-failure -L unit -j "$unit_jobs")
    exit
fi
(cd "$root/build" && ctest --output-on-failure -L unit -j "$unit_jobs")

tier "Debian package, installed and run in a clean Debian root"
# All of package.sh's lines are read (a reader that stops at the first would
# end it with SIGPIPE); the first names the package to check.
debs="$(bash scripts/package.sh --dev-certificates "$root/build")"
deb="${debs%%$'\n'*}"
# The plain tree's end-to-end tests run meanwhile: both mostly wait (on
# real-time measurements, on the mirror), and each runs in namespaces of its
# own. The package is made first, so nothing in build/ changes under the tests.
e2e_beside "$root/build" "the package check" bash scripts/check-package.sh "$suite" "$deb"

tier "sanitizer build (ASan + UBSan)"
# No benchmarks: their figures mean nothing under the sanitizers, and the
# plain tree already shows they build.
bash scripts/build.sh "$root/build-asan" -DULVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DULVEX_BUILD_BENCH=OFF
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd "$root/build-asan" && ctest --output-on-failure -L unit -j "$unit_jobs")

tier "fuzz targets (30 s each), the sanitizer tree's end-to-end tests beside them"
# The end-to-end entries mostly wait on real-time measurements; the fuzz build
# and runs take the cores meanwhile at a lower priority, so the tests' programs
# are scheduled first when they need the CPU. A fuzz run's limit is wall time,
# so the lower priority costs it executions, not time.
e2e_beside "$root/build-asan" "the fuzz targets" nice -n 10 bash scripts/fuzz.sh 30

# Debian 12 hosts also check Debian 13 (install-deps.sh brings debootstrap
# there). The Windows tier (scripts/test-windows.sh) runs on its own for now:
# one of its serial-line rows is not yet steady on a loaded machine.
if [ "$suite" = bookworm ]; then
    tier "Debian 13"
    bash scripts/test-debian13.sh
fi
tier "all done"
