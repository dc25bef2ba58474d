#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test and run the backend.
# Idempotent: apt-get runs only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite
    libspdlog-dev libfmt-dev libcxxopts-dev
    libsqlcipher-dev sqlcipher
    libgrpc++-dev libprotobuf-dev protobuf-compiler protobuf-compiler-grpc
    openssl ca-certificates procps python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
