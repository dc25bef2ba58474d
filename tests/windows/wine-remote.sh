#!/bin/sh
# Runs the Windows build of the remote service tool under Wine in place of the
# Linux one (ULVEX_TEST_REMOTE_TOOL points here; ULVEX_WINE_REMOTE_TOOL is the
# .exe). Linux paths in the arguments reach it as they are: Wine's Z: drive
# is the Linux root, and the working folder is on it.
set -eu
: "${ULVEX_WINE_REMOTE_TOOL:?the Windows remote tool to run}"
WINEDEBUG="${WINEDEBUG:--all}"
export WINEDEBUG
exec wine "$ULVEX_WINE_REMOTE_TOOL" "$@"
