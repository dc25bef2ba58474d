#!/bin/sh
# Runs the Windows build of the program under Wine the way the Linux tests run
# the Linux one (ULVEX_TEST_PROGRAM points here):
# - ULVEX_WINE_PROGRAM is the Windows program (Ulvexbackend.exe);
# - a serial device named by its Linux path in ULVEX_DEVICE_PORT gets a COM
#   port of the Wine prefix (COM20) linked to that path;
# - the data folder under the prefix's AppData is the test's HOME's, where the
#   Linux program would have put its logs.
# The exit status is the program's.
set -eu
: "${ULVEX_WINE_PROGRAM:?the Windows program to run}"
: "${WINEPREFIX:?a Wine prefix made by wineboot}"
user="$(id -un)"
roaming="$WINEPREFIX/drive_c/users/$user/AppData/Roaming"
mkdir -p "$roaming" "$HOME/.local/share/Ulvex Analyzer"
rm -rf "$roaming/Ulvex Analyzer"
ln -s "$HOME/.local/share/Ulvex Analyzer" "$roaming/Ulvex Analyzer"
case "${ULVEX_DEVICE_PORT:-}" in
    /*)
        ln -sfn "$ULVEX_DEVICE_PORT" "$WINEPREFIX/dosdevices/com20"
        ULVEX_DEVICE_PORT=COM20
        export ULVEX_DEVICE_PORT
        ;;
esac
WINEDEBUG="${WINEDEBUG:--all}"
export WINEDEBUG
exec wine "$ULVEX_WINE_PROGRAM" "$@"
