#!/usr/bin/env bash
# Makes (or reuses) a cross toolchain for Windows x86-64 (x86_64-w64-mingw32)
# from Debian 13's binary and source packages only, then proves it with a small
# Qt console program run under Wine.
#
# Usage (needs root):
#   scripts/windows-toolchain.sh [--probe]
#       builds what is missing and prints the prefix's path on stdout.
#       --probe also reruns the proof on a prefix that was already complete.
#   scripts/windows-toolchain.sh --print-path
#       prints the path of the complete prefix; fails if it was never built.
#   scripts/windows-toolchain.sh --refresh-sources
#       asks Debian again which source versions are current (a new version
#       means a new prefix), then builds as without options.
#   scripts/windows-toolchain.sh --fetch
#       only makes the root and fetches the source packages.
#   scripts/windows-toolchain.sh --run SRC_DIR WORK_DIR -- COMMAND...
#       runs COMMAND in the same Debian 13 root, in private mount, network,
#       IPC and PID namespaces (loopback up), with
#         /work/src   SRC_DIR, read-only
#         /work/out   WORK_DIR, writable (the command starts there)
#         /opt/win64  the prefix, read-only
#         /work/ccache the compiler cache (CCACHE_DIR points there)
#       and ULVEX_WIN64_TOOLCHAIN (the CMake toolchain file), WINEPATH (Qt,
#       library and MinGW runtime DLLs), WINEDEBUG=-all and a throw-away
#       WINEPREFIX set. A cross build of the project then reads:
#         cmake -S /work/src -B /work/out/build -G Ninja \
#           -DCMAKE_TOOLCHAIN_FILE=$ULVEX_WIN64_TOOLCHAIN -DCMAKE_PREFIX_PATH=/opt/win64 \
#           -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
#       Changes outside /work/out are thrown away at the end.
#
# Where things are kept (under $ULVEX_ROOT_CACHE, default /var/cache/ulvex-roots):
#   trixie-*        the Debian 13 root (scripts/debian-root.sh); used as the
#                   read-only lower layer of an overlay, never changed
#   win64-src/      Debian source packages, fetched once with apt-get source;
#                   win64-src/versions pins the versions in use
#   win64-<key>/    the prefix; key = this script's version + the source
#                   versions. Built in win64-<key>.new (finished steps leave
#                   stamps there, so a rerun after a failure resumes) and
#                   renamed when complete and proven
#   win64-logs/     one log per step of the last build
#   ccache-win64/   the compiler cache
#
# What the prefix holds: Qt 6.8.2 qtbase (Core, Network with Schannel, Sql
# without drivers, Test; shared, Release, no GUI), fmt and spdlog (DLLs, CMake
# packages), cxxopts (headers, CMake package), SQLCipher (libsqlcipher-0.dll
# with libtomcrypt inside, sqlcipher.pc), the toolchain file
# share/cmake/mingw-w64.cmake. QtSerialPort, QtProtobuf and QtGrpc are built
# only when Debian's mirror hands out the qt6-serialport and qt6-grpc sources
# (the one used here refuses them: 404); versions marks them "missing" then.
set -euo pipefail

version=1 # bump when the way the prefix is made changes
src="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=lib/chroot.sh
. "$src/scripts/lib/chroot.sh"
cache="${ULVEX_ROOT_CACHE:-/var/cache/ulvex-roots}"
srcpkgs="$cache/win64-src"
logs="$cache/win64-logs"
ccache_dir="$cache/ccache-win64"

# What goes into the prefix: source packages to cross-build ("?": may be
# refused by the mirror, then its modules are left out) and header-only
# libraries taken from their architecture-independent binary package.
source_packages=(fmtlib spdlog libtomcrypt sqlcipher qt6-base ?qt6-serialport ?qt6-grpc deb:libcxxopts-dev)

root_packages=(
    binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    build-essential ccache cmake dpkg-dev file make ninja-build perl pkg-config tcl xz-utils
    qt6-base-dev qt6-base-dev-tools qt6-grpc-dev qt6-grpc-tools protobuf-compiler libprotobuf-dev
    wine wine64 nsis zip unzip sqlcipher
)
# The Windows tier also builds the Linux tools and test suites that drive the
# Windows program (simulator, database tool, test servers) in this root.
mapfile -t -O "${#root_packages[@]}" root_packages < <(bash "$src/scripts/install-deps.sh" --list 13)

die() { echo "windows-toolchain: $*" >&2; exit 1; }
say() { echo "windows-toolchain: $*" >&2; }

# The environment of every command run in the root.
root_env=(HOME=/root LANG=C.UTF-8 TERM=dumb
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    CCACHE_DIR=/work/ccache CCACHE_MAXSIZE=5G CCACHE_BASEDIR=/work CCACHE_NOHASHDIR=1
    CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
    ULVEX_WIN64_PREFIX=/opt/win64 ULVEX_WIN64_TOOLCHAIN=/opt/win64/share/cmake/mingw-w64.cmake
    'WINEPATH=Z:\opt\win64\bin;Z:\usr\lib\gcc\x86_64-w64-mingw32\14-posix;Z:\usr\x86_64-w64-mingw32\lib'
    WINEDEBUG=-all WINEPREFIX=/root/.wine WINEDLLOVERRIDES=mscoree,mshtml=)

prefix_key() {
    [ -s "$srcpkgs/versions" ] || return 1
    printf 'v%s\n%s\n' "$version" "$(cat "$srcpkgs/versions")" | sha256sum | cut -c1-12
}

# enter_root WORK LOWER NET [mount...] -- COMMAND...: runs COMMAND
# chrooted in an overlay of LOWER in fresh namespaces; NET=1 keeps the host's
# network (to fetch sources), NET=0 gives loopback only. A mount is given as
# HOSTDIR:ROOTDIR[:ro].
enter_root() {
    local work="$1" lower="$2" net="$3"
    shift 3
    mkdir -p "$work/root" "$work/upper" "$work/overlay"
    local ns=(--mount --ipc --pid --fork --propagation private)
    [ "$net" = 1 ] || ns+=(--net)
    unshare "${ns[@]}" -- bash "$0" --inside "$work" "$lower" "$@"
}

inside() {
    local work="$1" lower="$2" r="$1/root" host dir mode
    shift 2
    mount -t overlay overlay -o "lowerdir=$lower,upperdir=$work/upper,workdir=$work/overlay" "$r"
    ip link set lo up 2>/dev/null || true
    mount -t proc proc "$r/proc"
    mount -t sysfs sysfs "$r/sys" -o ro
    mount_minimal_dev "$r"
    while [ "$1" != "--" ]; do
        IFS=: read -r host dir mode <<<"$1"
        mkdir -p "$r$dir"
        mount --bind "$host" "$r$dir"
        [ "$mode" != ro ] || mount -o remount,bind,ro "$r$dir"
        shift
    done
    shift
    chroot "$r" /usr/bin/env -i "${root_env[@]}" "$@"
}

# Resolves the source versions (once, or again with --refresh-sources) and
# fetches what is missing into $srcpkgs.
fetch_sources() {
    local lower="$1" refresh="$2" work
    mkdir -p "$srcpkgs"
    if [ "$refresh" = 0 ] && [ -s "$srcpkgs/versions" ]; then
        local name ver kind missing=0
        while read -r name ver kind; do
            case "$kind" in
                missing) ;;
                deb) [ -f "$srcpkgs/${name}_${ver#*:}_all.deb" ] || missing=1 ;;
                *) [ -f "$srcpkgs/${name}_${ver#*:}.dsc" ] || missing=1 ;;
            esac
        done <"$srcpkgs/versions"
        [ $missing = 1 ] || return 0
    fi
    work="$(mktemp -d /var/tmp/ulvex-win64-fetch.XXXXXX)"
    local t=$SECONDS rc=0
    enter_root "$work" "$lower" 1 "$srcpkgs:/work/srcpkgs" "$src:/work/src:ro" -- \
        bash /work/src/scripts/lib/windows-build.sh fetch "${source_packages[@]}" || rc=$?
    remove_unless_mounted "$work" windows-toolchain
    [ $rc = 0 ] || die "fetching the source packages failed"
    say "sources ready in $((SECONDS - t)) s: $(tr '\n' ' ' <"$srcpkgs/versions")"
}

build() {
    local probe_again="$1" refresh="$2" start=$SECONDS t lower key entry
    [ "$(id -u)" -eq 0 ] || die "needs root"
    mkdir -p "$cache"
    exec 8>"$cache/.win64.lock"
    flock 8
    t=$SECONDS
    lower="$(bash "$src/scripts/debian-root.sh" --cached trixie "${root_packages[@]}")"
    say "root ready in $((SECONDS - t)) s: $lower"
    fetch_sources "$lower" "$refresh"
    key="$(prefix_key)"
    entry="$cache/win64-$key"
    if [ -f "$entry/.ulvex-win64" ] && [ "$probe_again" = 0 ]; then
        say "using the built prefix $entry"
        echo "$entry"
        return 0
    fi
    local target="$entry.new" step=build
    if [ -f "$entry/.ulvex-win64" ]; then target="$entry" step=probe; fi
    mkdir -p "$target" "$logs" "$ccache_dir"
    local rc=0
    work="$(mktemp -d /var/tmp/ulvex-win64.XXXXXX)" # global: the EXIT trap reads it
    trap 'remove_unless_mounted "$work" windows-toolchain' EXIT
    trap "exit 130" INT TERM
    enter_root "$work" "$lower" 0 "$srcpkgs:/work/srcpkgs:ro" "$src:/work/src:ro" \
        "$target:/opt/win64" "$ccache_dir:/work/ccache" "$logs:/work/logs" -- \
        nice -n 5 bash /work/src/scripts/lib/windows-build.sh "$step" || rc=$?
    [ $rc = 0 ] || die "the $step failed (logs in $logs)"
    if [ "$target" = "$entry.new" ]; then
        # The marker keeps what each step cost.
        {
            printf 'version=%s\n%s\n' "$version" "$(cat "$srcpkgs/versions")"
            for f in "$target"/.stamp-*; do echo "step ${f##*/.stamp-}: $(cat "$f")"; done
        } >"$target/.ulvex-win64"
        rm -f "$target"/.stamp-*
        rm -rf "$entry"
        mv "$target" "$entry"
        # Prefixes of other keys nobody used for 3 days.
        find "$cache" -mindepth 2 -maxdepth 2 -path "$cache/win64-*/.ulvex-win64" -atime +3 2>/dev/null \
            | while read -r old; do [ "$(dirname "$old")" = "$entry" ] || rm -rf "$(dirname "$old")"; done
    fi
    say "prefix $entry ($(du -sh "$entry" | cut -f1)) ready; all done in $((SECONDS - start)) s"
    echo "$entry"
}

run() {
    [ $# -ge 4 ] && [ "$3" = "--" ] || die "usage: $0 --run SRC_DIR WORK_DIR -- COMMAND..."
    [ "$(id -u)" -eq 0 ] || die "needs root"
    local from to key entry lower work rc=0
    from="$(cd "$1" && pwd)" to="$(mkdir -p "$2" && cd "$2" && pwd)"
    shift 3
    key="$(prefix_key)" || die "no prefix yet: run $0 first"
    entry="$cache/win64-$key"
    [ -f "$entry/.ulvex-win64" ] || die "no complete prefix yet: run $0 first"
    cat "$entry/.ulvex-win64" >/dev/null # marks the prefix as used (atime)
    lower="$(bash "$src/scripts/debian-root.sh" --cached trixie "${root_packages[@]}")"
    mkdir -p "$ccache_dir"
    work="$(mktemp -d /var/tmp/ulvex-win64-run.XXXXXX)"
    enter_root "$work" "$lower" 0 "$from:/work/src:ro" "$to:/work/out" "$entry:/opt/win64:ro" \
        "$ccache_dir:/work/ccache" -- bash -c 'cd /work/out && exec "$@"' run "$@" || rc=$?
    remove_unless_mounted "$work" windows-toolchain
    return $rc
}

# One line runs it all: bash has read the whole of main before it starts, so
# editing this file while it runs cannot change what runs.
main() {
    case "${1:-}" in
        --inside) shift; inside "$@" ;;
        --print-path)
            key="$(prefix_key)" || die "no prefix yet: run $0 first"
            [ -f "$cache/win64-$key/.ulvex-win64" ] || die "no complete prefix yet: run $0 first"
            echo "$cache/win64-$key" ;;
        --run) shift; run "$@" ;;
        --probe) build 1 0 ;;
        --fetch)
            [ "$(id -u)" -eq 0 ] || die "needs root"
            fetch_sources "$(bash "$src/scripts/debian-root.sh" --cached trixie "${root_packages[@]}")" 0 ;;
        --refresh-sources) build 0 1 ;;
        "") build 0 0 ;;
        *) sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2; exit 2 ;;
    esac
}

main "$@"; exit $?
