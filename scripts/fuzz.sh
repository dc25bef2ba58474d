#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang and runs each one on its
# seed corpus (tests/fuzz/corpus/<target>) for the given time, two at a time. Fails when a
# target finds a crash, a leak, a time-out or runs out of memory; the input
# that did it is kept in <build>/artifacts.
# Usage: scripts/fuzz.sh [seconds per target, default 30] [target...]
# Environment: ULVEX_FUZZ_BUILD (build folder, default build-fuzz),
#   ULVEX_FUZZ_JOBS (targets at a time, default 2).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
shift || true
dir="${ULVEX_FUZZ_BUILD:-$root/build-fuzz}"

# The targets need clang 16 or newer: the standard library's <expected> needs
# compiler features that clang 14 lacks.
cxx=""
for candidate in clang++ clang++-19 clang++-18 clang++-17 clang++-16; do
    command -v "$candidate" >/dev/null || continue
    major="$("$candidate" -dumpversion | cut -d. -f1)"
    if [ "$major" -ge 16 ]; then
        cxx="$candidate"
        break
    fi
done
if [ -z "$cxx" ]; then
    echo "fuzz: no clang 16 or newer found (scripts/install-deps.sh installs one)" >&2
    exit 1
fi

launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}" CCACHE_NOHASHDIR=1
    # The macro prefix map names the checkout; it is there to make objects
    # the same in every clone (see scripts/build.sh).
    export CCACHE_IGNOREOPTIONS="${CCACHE_IGNOREOPTIONS:+$CCACHE_IGNOREOPTIONS }-fmacro-prefix-map=*"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DULVEX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"

if [ $# -eq 0 ]; then
    set -- $(cd "$dir/bin" && ls fuzz_*)
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
# Stack traces with function names and lines, from any LLVM symbolizer around.
for symbolizer in llvm-symbolizer llvm-symbolizer-19 llvm-symbolizer-16 llvm-symbolizer-14; do
    if command -v "$symbolizer" >/dev/null; then
        export ASAN_SYMBOLIZER_PATH="$(command -v "$symbolizer")"
        break
    fi
done
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$dir/artifacts"

# One target's run; its whole output goes to $dir/<target>.log.
run_one() {
    local target="$1" seeds work maxlen=4096
    seeds="$root/tests/fuzz/corpus/${target#fuzz_}"
    # New inputs the run finds stay in the build folder, never in the seeds.
    work="$dir/corpus/${target#fuzz_}"
    mkdir -p "$work" "$seeds"
    case "$target" in
        fuzz_commandline) maxlen=20000 ;; # room for arguments over the length bound
        fuzz_peversion) maxlen=16384 ;;
    esac
    "$dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$maxlen" \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" "$work" "$seeds" \
        >"$dir/$target.log" 2>&1
}

# Targets run ULVEX_FUZZ_JOBS at a time (default 2: the time limit is wall
# time, and each target keeps one core busy).
jobs_max="${ULVEX_FUZZ_JOBS:-2}"
rm -f "$dir"/fuzz_*.rc
for target in "$@"; do
    while [ "$(jobs -pr | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
    echo "=== $target (${seconds} s) started ==="
    (rc=0; run_one "$target" || rc=$?; echo "$rc" >"$dir/$target.rc") &
done
wait
failed=()
for target in "$@"; do
    if [ "$(cat "$dir/$target.rc" 2>/dev/null)" = 0 ]; then
        # Executions, coverage, corpus (entries/bytes), executions per second.
        echo "=== $target ==="
        grep -E "DONE" "$dir/$target.log" || true
    else
        echo "=== $target FAILED ==="
        tail -n 60 "$dir/$target.log"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: failures in ${failed[*]} (inputs in $dir/artifacts)" >&2
    exit 1
fi
echo "fuzz: all targets ran clean"
