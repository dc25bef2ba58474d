#!/usr/bin/env bash
# Builds the project in a Debian 13 (trixie) root and runs its whole CTest
# suite there (plain build, no sanitizers), then builds the Debian 13 package
# there and checks it in a clean Debian 13 root (scripts/check-package.sh).
# Needs root and debootstrap.
# Usage: scripts/test-debian13.sh [--package-only]
#   --package-only  skip the build with tests and the suite: only build the
#                   package and check it (a few minutes instead of about 15)
#
# The root comes from scripts/debian-root.sh (cached in /var/cache/ulvex-roots);
# compiler output is cached in /var/cache/ulvex-roots/ccache-trixie. Everything
# runs in private mount, network, IPC and PID namespaces: the mounts, port 2700
# and the program's kills of stale instances stay inside, and when the script
# ends nothing is left mounted. The source tree is mounted read-only.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=lib/chroot.sh
. "$src/scripts/lib/chroot.sh"
cache="${ULVEX_ROOT_CACHE:-/var/cache/ulvex-roots}"

# Whole functions: bash parses each before running it, so editing this file
# while it runs cannot change what runs.
outside() {
    [ "$(id -u)" -eq 0 ] || { echo "test-debian13: needs root" >&2; return 1; }
    work="$(mktemp -d /var/tmp/ulvex-deb13.XXXXXX)"
    trap 'remove_unless_mounted "$work" test-debian13' EXIT
    trap "exit 130" INT TERM
    local start=$SECONDS lower packages
    mapfile -t packages < <(bash "$src/scripts/install-deps.sh" --list 13)
    lower="$(bash "$src/scripts/debian-root.sh" --cached trixie "${packages[@]}")"
    echo "test-debian13: root ready in $((SECONDS - start)) s"
    mkdir -p "$cache/ccache-trixie" "$work/root" "$work/upper" "$work/overlay"
    # The inside makes the package before its end-to-end tests and says so
    # with a marker; the package is checked here meanwhile (both mostly wait).
    # Its status goes to a file: an ended child stays visible to `kill -0`
    # until it is waited for.
    {
        local status=0
        unshare --mount --net --ipc --pid --fork --propagation private -- \
            bash "$0" --inside "$work" "$lower" "$suite_too" || status=$?
        echo "$status" >"$work/inside-status"
    } &
    local inside_pid=$! inside_rc=0 check_rc=0 deb
    while [ ! -e "$work/upper/work/package-ready" ] && [ ! -e "$work/inside-status" ]; do
        sleep 2
    done
    if [ -e "$work/upper/work/package-ready" ]; then
        # The package built inside stays in the overlay's upper layer; it is
        # installed into a clean Debian 13 root, the way a user would get it.
        deb="$({ find "$work/upper/work/build/packages" "$work/upper/work/build-package/packages" -maxdepth 1 \
            -name 'ulvexbackend_*.deb' 2>/dev/null || true; } | head -n 1)"
        if [ -n "$deb" ]; then
            bash "$src/scripts/check-package.sh" trixie "$deb" || check_rc=$?
        else
            echo "test-debian13: no runtime package was made" >&2
            check_rc=1
        fi
    else
        echo "test-debian13: the build ended before a package was made" >&2
        check_rc=1
    fi
    wait "$inside_pid" || true
    inside_rc="$(cat "$work/inside-status" 2>/dev/null || echo 1)"
    if [ -e "$work/upper/work/e2e.log" ]; then
        echo "test-debian13: end-to-end tests (ran beside the package check)"
        cat "$work/upper/work/e2e.log"
    fi
    [ $inside_rc -eq 0 ] || { echo "test-debian13: the suite failed ($inside_rc)" >&2; return "$inside_rc"; }
    [ $check_rc -eq 0 ] || return "$check_rc"
    echo "test-debian13: all done in $((SECONDS - start)) s"
}

# Runs as pid 1 of fresh namespaces. The cached root stays unchanged below an
# overlay whose changes are thrown away with $work.
inside() {
    local work="$1" lower="$2" suite_too="$3" r="$1/root"
    mount -t overlay overlay -o "lowerdir=$lower,upperdir=$work/upper,workdir=$work/overlay" "$r"
    ip link set lo up
    mount -t proc proc "$r/proc"
    mount -t sysfs sysfs "$r/sys" -o ro
    mount_minimal_dev "$r"
    mkdir -p "$r/work/src" "$r/work/ccache"
    mount --bind "$src" "$r/work/src"
    mount -o remount,bind,ro "$r/work/src"
    mount --bind "$cache/ccache-trixie" "$r/work/ccache"

    chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb SUITE_TOO="$suite_too" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        CCACHE_DIR=/work/ccache CCACHE_MAXSIZE=3G CCACHE_BASEDIR=/work CCACHE_NOHASHDIR=1 \
        bash -c '
set -euo pipefail
cd /work/src
rc=0
t=$SECONDS
bash scripts/install-deps.sh
echo "test-debian13: install-deps in $((SECONDS - t)) s"
if [ "$SUITE_TOO" = 1 ]; then
    t=$SECONDS
    # Benchmarks are built (and run by hand) on the host only.
    bash scripts/build.sh /work/build -DULVEX_BUILD_BENCH=OFF
    echo "test-debian13: build in $((SECONDS - t)) s"
    ccache -s 2>/dev/null | grep -iE "hits|misses" | head -n 3 || true
    t=$SECONDS
    (cd /work/build && ctest --output-on-failure -L unit -j "${ULVEX_UNIT_JOBS:-4}") || rc=$?
    echo "test-debian13: unit tests in $((SECONDS - t)) s"
fi
t=$SECONDS
# The suite build makes the package; alone, a tests-off build does.
tree=/work/build-package
[ "$SUITE_TOO" = 1 ] && tree=/work/build
bash scripts/package.sh --dev-certificates "$tree"
echo "test-debian13: package built in $((SECONDS - t)) s"
touch /work/package-ready
if [ "$SUITE_TOO" = 1 ]; then
    t=$SECONDS
    # To a file: the package check outside prints meanwhile.
    (cd /work/build && ctest --output-on-failure -L e2e -j 6) >/work/e2e.log 2>&1 || rc=$?
    echo "test-debian13: end-to-end tests in $((SECONDS - t)) s" >>/work/e2e.log
fi
exit $rc
'
}

case "${1:-}" in
    --inside) inside "$2" "$3" "$4" ;;
    --package-only) suite_too=0; outside ;;
    "") suite_too=1; outside ;;
    *) echo "usage: $0 [--package-only]" >&2; exit 2 ;;
esac
exit
