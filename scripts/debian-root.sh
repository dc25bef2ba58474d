#!/usr/bin/env bash
# Makes a Debian root folder with debootstrap and installs packages in it.
#
# Usage: scripts/debian-root.sh SUITE DIR [package...]
#   SUITE    a Debian suite: bookworm (12), trixie (13), ...
#   DIR      the folder to fill; must be missing or empty. It is a private copy:
#            change it freely, remove it with `rm -rf DIR` (nothing is mounted in it).
#   package  installed with apt-get --no-install-recommends inside the root.
# Example: scripts/debian-root.sh trixie /tmp/t13 $(scripts/install-deps.sh --list 13)
#
#        scripts/debian-root.sh --cached SUITE [package...]
#   builds or checks the cache entry only and prints its path: a shared root
#   that must stay unchanged (e.g. the lower layer of an overlay mount).
# To use it: mount /proc, /dev, /dev/pts and /dev/shm into DIR inside a private
# mount namespace (unshare --mount ...), then chroot DIR ...
#
# Needs root. Built roots are cached in $ULVEX_ROOT_CACHE (default
# /var/cache/ulvex-roots), one per suite and package list, and copied to DIR;
# an entry that is missing, incomplete or older than $ULVEX_ROOT_MAX_AGE_DAYS
# (default 30) is built from nothing. Downloaded packages are kept there too.
# The mirror is the host's deb.debian.org source unless $ULVEX_DEBIAN_MIRROR is set.
set -euo pipefail

version=1 # bump when the way a root is made changes, so cached roots are rebuilt
cache="${ULVEX_ROOT_CACHE:-/var/cache/ulvex-roots}"
max_age="${ULVEX_ROOT_MAX_AGE_DAYS:-30}"

die() { echo "debian-root: $*" >&2; exit 1; }

# Runs inside a private mount + pid namespace: every mount made here ends with it.
if [ "${1:-}" = "--build-inside" ]; then
    shift
    suite="$1" target="$2" mirror="$3" debs="$4" aptcache="$5"
    shift 5
    debootstrap --variant=minbase --cache-dir="$debs" "$suite" "$target" "$mirror" \
        >"$target.debootstrap.log" 2>&1 \
        || { tail -n 30 "$target.debootstrap.log" >&2; die "debootstrap $suite failed"; }
    rm -f "$target.debootstrap.log"
    # No services start inside the root; no recommends, as install-deps.sh does.
    printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
    chmod 755 "$target/usr/sbin/policy-rc.d"
    echo 'APT::Install-Recommends "false";' >"$target/etc/apt/apt.conf.d/90ulvex"
    cp -L /etc/resolv.conf "$target/etc/resolv.conf" 2>/dev/null || true
    if [ $# -gt 0 ]; then
        mount -t proc proc "$target/proc"
        mount --rbind /dev "$target/dev"
        mkdir -p "$aptcache/partial"
        mount --bind "$aptcache" "$target/var/cache/apt/archives"
        chroot "$target" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive chroot "$target" apt-get install -y -qq "$@" \
            >"$target.apt.log" 2>&1 \
            || { tail -n 30 "$target.apt.log" >&2; die "apt-get install failed in $suite"; }
        rm -f "$target.apt.log"
    fi
    exit 0
fi

cached_only=0
if [ "${1:-}" = "--cached" ]; then
    cached_only=1
    shift
    [ $# -ge 1 ] || die "usage: $0 --cached SUITE [package...]"
    suite="$1"
    shift
else
    [ $# -ge 2 ] || die "usage: $0 SUITE DIR [package...]"
    suite="$1" dir="$2"
    shift 2
    if [ -e "$dir" ] && [ -n "$(ls -A "$dir")" ]; then die "$dir is not empty"; fi
fi
[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot)"
command -v debootstrap >/dev/null || die "debootstrap is missing (scripts/install-deps.sh installs it)"
[[ "$suite" =~ ^[a-z]+$ ]] || die "bad suite name: $suite"

mirror="${ULVEX_DEBIAN_MIRROR:-}"
if [ -z "$mirror" ]; then
    mirror="$(grep -rhoE 'https?://deb\.debian\.org/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
        | head -n 1 | tr -d ' ' || true)"
    mirror="${mirror:-http://deb.debian.org/debian}"
fi

packages=()
if [ $# -gt 0 ]; then mapfile -t packages < <(printf '%s\n' "$@" | sort -u); fi
key="$(printf '%s\n' "v$version" "$suite" "${packages[@]}" | sha256sum | cut -c1-12)"
entry="$cache/$suite-$key"
marker="$entry/.ulvex-root"

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

usable() {
    [ -f "$marker" ] || return 1
    [ -z "$(find "$marker" -mtime +"$max_age")" ] || return 1
    [ ${#packages[@]} -eq 0 ] || chroot "$entry" dpkg-query -W "${packages[@]}" >/dev/null 2>&1
}

if usable; then
    echo "debian-root: using cached $suite root $entry" >&2
else
    echo "debian-root: building $suite root (${#packages[@]} packages) from $mirror" >&2
    start=$SECONDS
    rm -rf "$entry" "$entry.new" "$entry.new".*.log
    mkdir -p "$cache/debs-$suite" "$cache/apt-$suite"
    unshare --mount --pid --fork --propagation private -- \
        bash "$0" --build-inside "$suite" "$entry.new" "$mirror" \
        "$cache/debs-$suite" "$cache/apt-$suite" "${packages[@]}"
    printf 'suite=%s\npackages=%s\n' "$suite" "${packages[*]}" >"$entry.new/.ulvex-root"
    mv "$entry.new" "$entry"
    echo "debian-root: built $entry in $((SECONDS - start)) s" >&2
    # Roots of this suite for other package lists that nobody used for 3 days.
    find "$cache" -mindepth 2 -maxdepth 2 -path "$cache/$suite-*/.ulvex-root" -atime +3 2>/dev/null \
        | while read -r old; do rm -rf "$(dirname "$old")"; done
fi
cat "$marker" >/dev/null # marks the entry as used (atime)
if [ $cached_only -eq 1 ]; then
    echo "$entry"
    exit 0
fi

start=$SECONDS
mkdir -p "$dir"
cp -a --reflink=auto "$entry/." "$dir/"
rm -f "$dir/.ulvex-root"
echo "debian-root: $suite root ready in $dir (copied in $((SECONDS - start)) s)" >&2
