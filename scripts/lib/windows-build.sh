#!/usr/bin/env bash
# Runs inside the Debian 13 root made by scripts/windows-toolchain.sh; not meant
# to be called directly.
#   windows-build.sh fetch PACKAGE...  pins and downloads the source packages
#                                       into /work/srcpkgs (network needed)
#   windows-build.sh build             cross-builds everything into /opt/win64,
#                                       then runs the probe
#   windows-build.sh probe             runs the probe only
# Finished steps leave /opt/win64/.stamp-STEP so a rerun resumes; the compiler
# output is cached in /work/ccache; each step logs to /work/logs/STEP.log.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
prefix=/opt/win64
triple=x86_64-w64-mingw32
toolchain="$prefix/share/cmake/mingw-w64.cmake"
jobs=2

say() { echo "windows-build: $*" >&2; }
die() { say "$*"; exit 1; }

# fetch ITEM...: an ITEM is a source package name, "?NAME" for one that may be
# refused (pinned as "missing", so its step is skipped), or "deb:NAME" for an
# architecture-independent binary package (header-only libraries).
fetch() {
    # deb-src entries next to each deb entry of the root's sources.
    local list=/etc/apt/sources.list.d/ulvex-src.list item name uri ver failed=()
    { grep -hsE '^deb ' /etc/apt/sources.list || true; } | sed 's/^deb /deb-src /' >"$list.new"
    mv "$list.new" "$list"
    if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null; then
        sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/*.sources
    fi
    apt-get update -qq
    mkdir -p /tmp/empty
    cd /work/srcpkgs
    : >versions.new
    for item in "$@"; do
        name="${item#\?}"
        name="${name#deb:}"
        if [ "${item#deb:}" != "$item" ]; then
            ver="$(apt-cache policy "$name" | awk '/Candidate:/ { print $2 }')"
            [ -n "$ver" ] && [ "$ver" != "(none)" ] || die "no package $name"
            echo "$name $ver deb" >>versions.new
            [ -f "${name}_${ver#*:}_all.deb" ] || apt-get download -qq "$name=$ver" 2>"/tmp/fetch-$name.log" \
                || { grep '^E:' "/tmp/fetch-$name.log" >&2; failed+=("$name"); }
            continue
        fi
        # The candidate's .dsc names its version (without the epoch); asked
        # from an empty folder, as apt leaves out files it finds in place.
        uri="$(cd /tmp/empty && apt-get source --download-only --print-uris -qq "$name" | awk '$2 ~ /\.dsc$/ { print $2; exit }')"
        [ -n "$uri" ] || die "no source package $name"
        ver="${uri%.dsc}"
        ver="${ver#"${name}"_}"
        # apt skips files already there with the right checksum.
        if apt-get source --download-only -qq "$name" >/dev/null 2>"/tmp/fetch-$name.log"; then
            echo "$name $ver" >>versions.new
        elif [ "${item#\?}" != "$item" ]; then
            grep '^E:' "/tmp/fetch-$name.log" | head -n 1 >&2
            say "$name $ver: the source was refused; its modules are left out"
            echo "$name $ver missing" >>versions.new
        else
            grep '^E:' "/tmp/fetch-$name.log" >&2
            failed+=("$name")
        fi
    done
    chown -R root:root /work/srcpkgs
    [ ${#failed[@]} = 0 ] || die "the download failed for: ${failed[*]}"
    mv versions.new versions
}

# pinned NAME: true if NAME's source is in /work/srcpkgs.
pinned() { awk -v n="$1" '$1 == n && NF == 2 { found = 1 } END { exit !found }' /work/srcpkgs/versions; }

# unpack NAME: a fresh tree of NAME's pinned source with Debian's patches, in
# /work/build/NAME; prints its path.
unpack() {
    local name="$1" ver dir="/work/build/$1"
    ver="$(awk -v n="$name" '$1 == n { print $2 }' /work/srcpkgs/versions)"
    [ -n "$ver" ] || die "$name is not pinned"
    rm -rf "$dir"
    mkdir -p /work/build
    dpkg-source --no-check -x "/work/srcpkgs/${name}_${ver#*:}.dsc" "$dir" >/dev/null
    echo "$dir"
}

# step NAME: runs step_NAME once, timed, logged to /work/logs/NAME.log.
step() {
    local name="$1" t=$SECONDS
    if [ -f "$prefix/.stamp-$name" ]; then
        say "$name: done before ($(cat "$prefix/.stamp-$name"))"
        return 0
    fi
    say "$name: building (log /work/logs/$name.log)"
    # In the background: errexit holds inside it (not in an if's condition).
    local rc=0
    ("step_$name") >"/work/logs/$name.log" 2>&1 &
    wait $! || rc=$?
    if [ $rc != 0 ]; then
        grep -m 20 -E 'error:|Error|FAILED:' "/work/logs/$name.log" >&2 || true
        tail -n 15 "/work/logs/$name.log" >&2
        die "$name failed after $((SECONDS - t)) s"
    fi
    echo "$((SECONDS - t)) s" >"$prefix/.stamp-$name"
    say "$name: done in $((SECONDS - t)) s"
}

cmake_build() { # cmake_build SRC BUILD [cmake args...]
    local s="$1" b="$2"
    shift 2
    cmake -S "$s" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
    cmake --build "$b" -j "$jobs"
    cmake --install "$b"
}

. "$here/windows-steps.sh"

main() {
    case "${1:-}" in
        fetch) shift; fetch "$@" ;;
        build)
            mkdir -p "$prefix/share/cmake"
            cp /work/src/cmake/windows/mingw-w64.cmake "$toolchain"
            t=$SECONDS
            for s in qtbase fmt spdlog cxxopts tomcrypt sqlcipher qtserialport qtgrpc; do step "$s"; done
            say "libraries done in $((SECONDS - t)) s"
            run_probe ;;
        probe) run_probe ;;
        *) die "usage: $0 fetch PACKAGE... | build | probe" ;;
    esac
}

main "$@"; exit $? # one line: edits to this file cannot reach a running build
