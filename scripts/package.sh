#!/usr/bin/env bash
# Builds the Debian packages (ulvexbackend and ulvexbackend-dev) for the
# Debian release this runs on and prints the path of each .deb, the runtime
# package first. Build output goes to stderr.
# Usage: scripts/package.sh [build-dir]   (default: build-package)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build-package}"

command -v dpkg-shlibdeps >/dev/null || { echo "package: dpkg-shlibdeps missing (apt-get install dpkg-dev)" >&2; exit 1; }
bash "$root/scripts/build.sh" "$dir" -DULVEX_BUILD_TESTS=OFF -DULVEX_BUILD_BENCH=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >&2
rm -rf "$dir/packages"
(cd "$dir" && cpack -G DEB -B "$dir/packages" >&2)
runtime=$(find "$dir/packages" -maxdepth 1 -name 'ulvexbackend_*.deb' | head -n1)
dev=$(find "$dir/packages" -maxdepth 1 -name 'ulvexbackend-dev_*.deb' | head -n1)
[ -n "$runtime" ] || { echo "package: no runtime package was made" >&2; exit 1; }
echo "$runtime"
[ -z "$dev" ] || echo "$dev"
