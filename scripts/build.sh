#!/usr/bin/env bash
# Configures and builds into the given folder (default: build).
# Usage: scripts/build.sh [build-dir] [extra cmake arguments...]
# ULVEX_BUILD_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
launcher=()
# ccache, when present, makes rebuilds in other checkouts of the tree cheap.
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}" CCACHE_NOHASHDIR=1
    # Options that name the checkout's folder must not keep a fresh clone
    # from the cached objects. QtTest puts each test's build and source
    # folders on its command line; only QFINDTESTDATA reads them, and no test
    # of ours uses it. The macro prefix map makes __FILE__ the same in every
    # clone, whatever folder it maps.
    export CCACHE_IGNOREOPTIONS="${CCACHE_IGNOREOPTIONS:+$CCACHE_IGNOREOPTIONS }-DQT_TESTCASE_BUILDDIR=* -DQT_TESTCASE_SOURCEDIR=* -fmacro-prefix-map=*"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
targets=()
for t in ${ULVEX_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
