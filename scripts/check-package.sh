#!/usr/bin/env bash
# Checks the runtime Debian package on a clean system: installs it into a fresh
# Debian root of SUITE (made by scripts/debian-root.sh) with apt resolving its
# dependencies, then, inside that root and with no network, runs the installed
# `Ulvexbackend -v` and one whole measurement with the installed simulator,
# client and database tool. A dependency the package fails to declare makes
# one of these steps fail.
#
# Usage: scripts/check-package.sh SUITE RUNTIME.deb     (SUITE: bookworm, trixie, ...)
# ULVEX_CHECK_DROP_DEPENDS=pkg removes pkg from the package's Depends first, to
# see the check fail on a missing dependency.
# Needs root. Everything runs in private namespaces; nothing stays mounted.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=lib/chroot.sh
. "$src/scripts/lib/chroot.sh"
cache="${ULVEX_ROOT_CACHE:-/var/cache/ulvex-roots}"
die() { echo "check-package: $*" >&2; exit 1; }

if [ "${1:-}" = "--install-inside" ]; then
    r="$2" aptcache="$3"
    mount -t proc proc "$r/proc"
    mount --rbind /dev "$r/dev"
    mkdir -p "$aptcache/partial"
    mount --bind "$aptcache" "$r/var/cache/apt/archives"
    chroot "$r" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive chroot "$r" apt-get install -y -qq /tmp/pkg/package.deb
    exit
fi

if [ "${1:-}" = "--run-inside" ]; then
    r="$2"
    ip link set lo up
    mount -t proc proc "$r/proc"
    mount_minimal_dev "$r"
    exec chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        ULVEX_REPORT_SERVER=off ULVEX_BACKEND_LOG_LEVEL=info bash -c '
set -euo pipefail
echo "--- Ulvexbackend -v"
Ulvexbackend -v
for f in /usr/lib/udev/rules.d/99-ulvex-analyzer.rules /usr/share/doc/ulvexbackend/README.md; do
    [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
m=/tmp/measure
mkdir -p $m/data/common $m/personal $m/app/bin/work
ulvex-dbtool create-parameters $m/data/common/parameters.db
ulvex-dbtool create-personal $m/personal/personal.db
person=$(ulvex-dbtool add-person $m/personal/personal.db "Package Check" 1980-01-01 Male 180 80 | awk "{print \$NF}")
ulvex-device-sim --port-file $m/port > $m/simulator.log 2>&1 &
for _ in $(seq 50); do [ -s $m/port ] && break; sleep 0.1; done
[ -s $m/port ] || { echo "the simulator did not start"; cat $m/simulator.log; exit 1; }
echo "--- one whole measurement"
cd $m/app/bin/work
ULVEX_DEVICE_PORT=$(cat $m/port) ulvex-client --quiet --launch /usr/bin/Ulvexbackend \
    "setdb:$m/personal" "measure:$person" exit
ulvex-dbtool list-reports $m/personal/personal.db | tee $m/reports.txt | tail -n 3
grep -q "^1 reports$" $m/reports.txt
grep -Eq "^  [1-9][0-9]* results$" $m/reports.txt
'
fi

[ $# -eq 2 ] || die "usage: $0 SUITE RUNTIME.deb"
[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot, namespaces)"
suite="$1" deb="$(realpath "$2")"
[ -f "$deb" ] || die "no such package: $deb"
start=$SECONDS

work="$(mktemp -d /var/tmp/ulvex-pkgcheck.XXXXXX)"
trap 'remove_unless_mounted "$work" check-package' EXIT

bash "$src/scripts/debian-root.sh" "$suite" "$work/root"
mkdir -p "$work/root/tmp/pkg"
if [ -n "${ULVEX_CHECK_DROP_DEPENDS:-}" ]; then
    echo "check-package: removing ${ULVEX_CHECK_DROP_DEPENDS} from the package's Depends"
    dpkg-deb -R "$deb" "$work/unpacked"
    drop="${ULVEX_CHECK_DROP_DEPENDS}( \([^)]*\))?"
    sed -i -E "/^Depends:/ { s/, $drop//; s/: $drop(, )?/: / }" "$work/unpacked/DEBIAN/control"
    grep '^Depends:' "$work/unpacked/DEBIAN/control"
    dpkg-deb -b "$work/unpacked" "$work/root/tmp/pkg/package.deb" >/dev/null
else
    cp "$deb" "$work/root/tmp/pkg/package.deb"
fi

echo "check-package: installing $(basename "$deb") into a clean $suite root"
mkdir -p "$cache/apt-$suite-pkgcheck"
unshare --mount --pid --fork --propagation private -- \
    bash "$0" --install-inside "$work/root" "$cache/apt-$suite-pkgcheck"
echo "check-package: installed in $((SECONDS - start)) s; running it without network"
rc=0
unshare --mount --net --ipc --pid --fork --propagation private -- \
    bash "$0" --run-inside "$work/root" || rc=$?
if [ $rc -ne 0 ]; then
    echo "check-package: FAILED on $suite after $((SECONDS - start)) s" >&2
    exit $rc
fi
echo "check-package: $(basename "$deb") passed on $suite in $((SECONDS - start)) s"
