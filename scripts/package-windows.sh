#!/usr/bin/env bash
# Makes the Windows folder and zip from a cross-built tree: the program, the
# library, the tools, and every DLL they need that is not part of Windows (Qt,
# its TLS plugin, SQLCipher and the compiler's runtime), found by reading the
# import tables of the binaries themselves.
# Usage: scripts/package-windows.sh BUILD_DIR OUT_DIR DLL_DIR...
#   BUILD_DIR  the cross-built tree (cmake --install runs from it)
#   OUT_DIR    gets Ulvexbackend-<version>-win64/ and its .zip
#   DLL_DIR    folders searched for the DLLs, in order (the toolchain's bin,
#              the compiler's runtime folders)
# Prints the zip's path. Runs where x86_64-w64-mingw32-objdump and zip are.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 BUILD_DIR OUT_DIR DLL_DIR..." >&2; exit 2; }
build="$1" out="$2"
shift 2
dll_dirs=("$@")
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || { echo "package-windows: $objdump is missing" >&2; exit 1; }
command -v zip >/dev/null || { echo "package-windows: zip is missing" >&2; exit 1; }

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "package-windows: $build is not a configured tree" >&2; exit 1; }
name="Ulvexbackend-$version-win64"
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"
# Programs and the library side by side: Windows looks for DLLs beside the exe.
DESTDIR="" cmake --install "$build" --prefix "$stage" --component runtime >/dev/null
DESTDIR="" cmake --install "$build" --prefix "$stage" --component library >/dev/null
if [ -d "$stage/bin" ]; then
    mv "$stage/bin"/* "$stage/"
    rmdir "$stage/bin"
fi

# Qt loads its TLS backend as a plugin, from a folder beside the program.
plugin=""
for d in "${dll_dirs[@]}"; do
    for candidate in "$d/../plugins/tls/qschannelbackend.dll" "$d/plugins/tls/qschannelbackend.dll"; do
        [ -z "$plugin" ] && [ -f "$candidate" ] && plugin="$candidate"
    done
done
[ -n "$plugin" ] || { echo "package-windows: Qt's Schannel TLS plugin (qschannelbackend.dll) not found" >&2; exit 1; }
mkdir -p "$stage/tls"
cp "$plugin" "$stage/tls/"

find_dll() {
    local d
    for d in "${dll_dirs[@]}"; do
        if [ -f "$d/$1" ]; then echo "$d/$1"; return 0; fi
    done
    return 1
}

# Follows the import tables until no new DLL turns up; names not found in the
# search folders belong to Windows itself.
declare -A seen=()
queue=()
while IFS= read -r -d '' f; do queue+=("$f"); done < <(find "$stage" -name '*.exe' -print0 -o -name '*.dll' -print0)
while [ ${#queue[@]} -gt 0 ]; do
    f="${queue[0]}"
    queue=("${queue[@]:1}")
    while read -r dll; do
        key="${dll,,}"
        [ -n "${seen[$key]:-}" ] && continue
        seen[$key]=1
        [ -f "$stage/$dll" ] && continue
        if src="$(find_dll "$dll")"; then
            cp "$src" "$stage/"
            queue+=("$stage/$dll")
        fi
    done < <("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p')
done

(cd "$out" && zip -qr "$name.zip" "$name")
echo "$out/$name.zip"
