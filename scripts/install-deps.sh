#!/usr/bin/env bash
# Installs the packages needed to build, test and run the backend on Debian 12
# (bookworm) or Debian 13 (trixie); the release is read from /etc/os-release.
# Idempotent: apt-get runs only when something is missing.
# Usage: scripts/install-deps.sh            install what is missing here
#        scripts/install-deps.sh --list N   print the package list for Debian N
set -euo pipefail

# Named alike on both releases.
common=(
    build-essential cmake ninja-build pkg-config git ccache
    # CPack's Debian generator: dpkg-shlibdeps computes the package's
    # dependencies, and it runs `file` to find the binaries to look at.
    dpkg-dev file
    qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite
    libspdlog-dev libfmt-dev libcxxopts-dev
    libsqlcipher-dev sqlcipher
    libgrpc++-dev libprotobuf-dev protobuf-compiler protobuf-compiler-grpc
    openssl ca-certificates procps python3
    # The end-to-end tests run in namespaces of their own (tests/support/isolate.sh):
    # unshare from util-linux, and ip to bring their loopback up.
    util-linux iproute2
)
# Debian 12: debootstrap makes the Debian 13 root of scripts/test-debian13.sh
# and the clean roots of scripts/check-package.sh, which runs lintian on the
# packages of both releases.
bookworm=(
    debootstrap lintian
    # The fuzz targets (scripts/fuzz.sh): clang 16 with its libFuzzer and
    # sanitizer runtimes; the default clang 14 cannot compile <expected>.
    clang-16 libclang-rt-16-dev
)
# Debian 13: Qt's own Protobuf and gRPC modules and generators.
trixie=(
    qt6-grpc-dev qt6-grpc-tools
)

list_for() {
    case "$1" in
        12) printf '%s\n' "${common[@]}" "${bookworm[@]}" ;;
        13) printf '%s\n' "${common[@]}" "${trixie[@]}" ;;
        *) echo "install-deps: Debian $1 is not supported (12 and 13 are)" >&2; return 1 ;;
    esac
}

if [ "${1:-}" = "--list" ]; then
    list_for "${2:?usage: $0 --list 12|13}"
    exit
fi

release=""
if [ -r /etc/os-release ]; then
    release="$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-}")" || true
fi
[ -n "$release" ] || { echo "install-deps: not a Debian system with a release number (see /etc/os-release)" >&2; exit 1; }
mapfile -t packages < <(list_for "$release")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages for Debian $release present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing on Debian $release: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
