#!/usr/bin/env bash
# Builds the Debian packages for the Debian release this runs on and prints
# the path of each .deb: ulvexbackend (program and tools) first, then
# libulvexbackendlib4 (the library) and ulvexbackend-dev. Build output goes
# to stderr.
#
# Usage: scripts/package.sh [--dev-certificates] [build-dir]
#   build-dir  an already configured build folder (e.g. build/ of
#              scripts/build.sh, tests on): packaged where it stands, after
#              setting its install prefix to /usr and its certificate folder;
#              its tests keep working. A folder that is missing or not
#              configured gets a build of its own with tests off.
#              Default: build-package.
#   --dev-certificates  package the throw-away development certificate set
#              (the package description then says so, and the program warns
#              at start).
# The remote service's certificate folder comes from ULVEX_CERT_DIR (client.pem,
# client-key.pem, server.ca); without it, and without --dev-certificates, this
# refuses to package.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
die() { echo "package: $*" >&2; exit 1; }

dev_certs=0
if [ "${1:-}" = "--dev-certificates" ]; then
    dev_certs=1
    shift
fi
[ $# -le 1 ] || die "usage: $0 [--dev-certificates] [build-dir]"
dir="$(realpath -m "${1:-$root/build-package}")"

command -v dpkg-shlibdeps >/dev/null || die "dpkg-shlibdeps missing (apt-get install dpkg-dev)"
if [ -n "${ULVEX_CERT_DIR:-}" ]; then
    [ $dev_certs -eq 0 ] || die "ULVEX_CERT_DIR and --dev-certificates both given: choose one"
    [ -d "$ULVEX_CERT_DIR" ] || die "ULVEX_CERT_DIR $ULVEX_CERT_DIR is not a folder"
    cert_dir="$(cd "$ULVEX_CERT_DIR" && pwd)"
elif [ $dev_certs -eq 1 ]; then
    cert_dir=""
    echo "package: packaging the throw-away development certificate set (not for deployment)" >&2
else
    die "no certificate folder: set ULVEX_CERT_DIR to the folder with the deployment's client.pem,
client-key.pem and server.ca, or pass --dev-certificates to package the throw-away development set"
fi
settings=(-DCMAKE_INSTALL_PREFIX=/usr "-DULVEX_CERT_DIR=$cert_dir")

start=$SECONDS
if [ -f "$dir/CMakeCache.txt" ]; then
    home="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$dir/CMakeCache.txt")"
    [ "$(realpath "$home")" = "$root" ] || die "$dir is a build of $home, not of $root"
    if grep -Eq '^ULVEX_(SANITIZE|FUZZ):BOOL=ON$' "$dir/CMakeCache.txt"; then
        die "$dir is a sanitizer or fuzz build: package a plain one"
    fi
    # The compiler cache settings of scripts/build.sh, so recompiles hit its cache.
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}" CCACHE_NOHASHDIR=1
    cmake "$dir" "${settings[@]}" >/dev/null
    cmake --build "$dir" -j "$(nproc)" >&2
else
    bash "$root/scripts/build.sh" "$dir" -DULVEX_BUILD_TESTS=OFF -DULVEX_BUILD_BENCH=OFF "${settings[@]}" >&2
fi
echo "package: built in $((SECONDS - start)) s" >&2
rm -rf "$dir/packages"
(cd "$dir" && cpack -G DEB -B "$dir/packages" >&2)
echo "package: packaged in $((SECONDS - start)) s" >&2

for name in ulvexbackend 'libulvexbackendlib[0-9]*' ulvexbackend-dev; do
    deb=$(find "$dir/packages" -maxdepth 1 -name "${name}_*.deb" | head -n 1)
    [ -n "$deb" ] || die "no $name package was made"
    echo "$deb"
done
