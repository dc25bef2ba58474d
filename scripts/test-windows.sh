#!/usr/bin/env bash
# The Windows tier: builds (or reuses) the cross toolchain of
# scripts/windows-toolchain.sh, then, in its Debian 13 root and private
# namespaces, cross-builds the project for Windows x86-64, runs its unit tests
# under Wine, makes the Windows zip and runs the end-to-end checks against the
# program unpacked from it (tests/windows/tier.sh). Needs root.
# Usage: scripts/test-windows.sh [--keep DIR]
#   --keep DIR  work in DIR and leave it (builds, logs, the zip) for a look
#               afterwards; by default a scratch folder is removed at the end.
# The zip is also copied to $ULVEX_WINDOWS_DIST when that is set.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "test-windows: needs root" >&2; exit 1; }
keep=""
case "${1:-}" in
    --keep) keep="${2:?usage: $0 [--keep DIR]}"; mkdir -p "$keep" ;;
    "") ;;
    *) echo "usage: $0 [--keep DIR]" >&2; exit 2 ;;
esac
start=$SECONDS
bash "$src/scripts/windows-toolchain.sh" >/dev/null
echo "test-windows: toolchain ready in $((SECONDS - start)) s"
if [ -n "$keep" ]; then
    work="$(cd "$keep" && pwd)"
else
    work="$(mktemp -d /var/tmp/ulvex-win.XXXXXX)"
    trap 'rm -rf "$work"' EXIT
fi
rc=0
bash "$src/scripts/windows-toolchain.sh" --run "$src" "$work" -- bash /work/src/tests/windows/tier.sh || rc=$?
if [ -n "${ULVEX_WINDOWS_DIST:-}" ]; then
    mkdir -p "$ULVEX_WINDOWS_DIST"
    cp "$work"/dist/*.zip "$ULVEX_WINDOWS_DIST/" 2>/dev/null || true
fi
echo "test-windows: all done in $((SECONDS - start)) s"
exit $rc
