#!/usr/bin/env bash
# Checks the Debian packages: first `lintian` on each (any error or warning
# fails the check), then on a clean system: installs the program's package and
# the library's into a fresh Debian root of SUITE (made by
# scripts/debian-root.sh) with apt resolving their dependencies, then, inside
# that root and with no network, runs the installed `Ulvexbackend -v` and one
# whole measurement with the installed simulator, client and database tool.
# A dependency a package fails to declare makes one of these steps fail. The
# program must warn about a development certificate set exactly when the
# package description names one.
#
# Usage: scripts/check-package.sh SUITE RUNTIME.deb [PACKAGE.deb...]
#   SUITE: bookworm, trixie, ...; RUNTIME.deb: the ulvexbackend package.
#   The library package (libulvexbackendlib<N>) and ulvexbackend-dev of the
#   same version are taken from beside RUNTIME.deb unless given.
# ULVEX_CHECK_DROP_DEPENDS=pkg removes pkg from the packages' Depends first, to
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
    DEBIAN_FRONTEND=noninteractive chroot "$r" sh -c 'apt-get install -y -qq /tmp/pkg/*.deb'
    exit
fi

if [ "${1:-}" = "--run-inside" ]; then
    r="$2" dev_certs="$3"
    ip link set lo up
    mount -t proc proc "$r/proc"
    mount_minimal_dev "$r"
    exec chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        ULVEX_REPORT_SERVER=off ULVEX_BACKEND_LOG_LEVEL=info DEV_CERTS="$dev_certs" bash -c '
set -euo pipefail
echo "--- Ulvexbackend -v"
Ulvexbackend -v 2>&1 | tee /tmp/version.log
grep -q "Ulvexbackend version: " /tmp/version.log
warned=0
grep -q "development certificates" /tmp/version.log && warned=1
[ "$warned" = "$DEV_CERTS" ] || { echo "development certificate warning: $warned, package says $DEV_CERTS"; exit 1; }
for f in /usr/lib/udev/rules.d/99-ulvex-analyzer.rules /usr/share/doc/ulvexbackend/README.md \
    $(dpkg -L ulvexbackend | sed -n "s|^/usr/bin/\(.*\)|/usr/share/man/man1/\1.1.gz|p"); do
    [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
loaded=$(ldd /usr/bin/Ulvexbackend | awk "/libUlvexbackendLib/ {print \$3}")
owner=$(dpkg -S "$(readlink -f "$loaded")" | cut -d: -f1)
echo "--- the program loads $loaded from the package $owner"
case "$owner" in libulvexbackendlib[0-9]*) ;; *) exit 1 ;; esac
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

[ $# -ge 2 ] || die "usage: $0 SUITE RUNTIME.deb [PACKAGE.deb...]"
[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot, namespaces)"
suite="$1" deb="$(realpath "$2")"
shift 2
[ -f "$deb" ] || die "no such package: $deb"
start=$SECONDS

# The other packages of this build: given, or beside the runtime package.
version="$(dpkg-deb -f "$deb" Version)" arch="$(dpkg-deb -f "$deb" Architecture)"
debs=("$deb")
for p in "$@"; do debs+=("$(realpath "$p")"); done
if [ $# -eq 0 ]; then
    for name in 'libulvexbackendlib[0-9]*' ulvexbackend-dev; do
        other="$(find "$(dirname "$deb")" -maxdepth 1 -name "${name}_${version}_${arch}.deb" | head -n 1)"
        [ -z "$other" ] || debs+=("$other")
    done
fi
library=""
for p in "${debs[@]}"; do
    [ -f "$p" ] || die "no such package: $p"
    case "$(dpkg-deb -f "$p" Package)" in libulvexbackendlib[0-9]*) library="$p" ;; esac
done
[ -n "$library" ] || die "no library package (libulvexbackendlib<N>_${version}_${arch}.deb) beside $deb"

command -v lintian >/dev/null || die "lintian is missing (scripts/install-deps.sh installs it)"
echo "check-package: lintian $(printf '%s ' "${debs[@]##*/}")"
lintian --fail-on error,warning "${debs[@]}" || die "lintian found errors or warnings"
echo "check-package: lintian clean in $((SECONDS - start)) s"

dev_certs=0
description="$(dpkg-deb -f "$deb" Description)"
if grep -q "development certificate" <<<"$description"; then dev_certs=1; fi

work="$(mktemp -d /var/tmp/ulvex-pkgcheck.XXXXXX)"
trap 'remove_unless_mounted "$work" check-package' EXIT

bash "$src/scripts/debian-root.sh" "$suite" "$work/root"
mkdir -p "$work/root/tmp/pkg"
# The program's package and the library's; the development package needs the
# whole Qt development set and is checked by lintian only.
for p in "$deb" "$library"; do
    target="$work/root/tmp/pkg/$(basename "$p")"
    if [ -n "${ULVEX_CHECK_DROP_DEPENDS:-}" ]; then
        rm -rf "$work/unpacked"
        dpkg-deb -R "$p" "$work/unpacked"
        drop="${ULVEX_CHECK_DROP_DEPENDS}( \([^)]*\))?"
        sed -i -E "/^Depends:/ { s/, $drop//; s/: $drop(, )?/: / }" "$work/unpacked/DEBIAN/control"
        echo "check-package: $(basename "$p") without ${ULVEX_CHECK_DROP_DEPENDS}: $(grep '^Depends:' "$work/unpacked/DEBIAN/control")"
        dpkg-deb -b "$work/unpacked" "$target" >/dev/null
    else
        cp "$p" "$target"
    fi
done

echo "check-package: installing $(basename "$deb") and $(basename "$library") into a clean $suite root"
mkdir -p "$cache/apt-$suite-pkgcheck"
unshare --mount --pid --fork --propagation private -- \
    bash "$0" --install-inside "$work/root" "$cache/apt-$suite-pkgcheck"
echo "check-package: installed in $((SECONDS - start)) s; running it without network"
rc=0
unshare --mount --net --ipc --pid --fork --propagation private -- \
    bash "$0" --run-inside "$work/root" "$dev_certs" || rc=$?
if [ $rc -ne 0 ]; then
    echo "check-package: FAILED on $suite after $((SECONDS - start)) s" >&2
    exit $rc
fi
echo "check-package: $(basename "$deb") passed on $suite in $((SECONDS - start)) s"
