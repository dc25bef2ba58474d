# Sourced by windows-build.sh: one function per library cross-built into the
# prefix. Each runs with its output in /work/logs/STEP.log.

# Shared libraries, as on Linux: one spdlog registry and one fmt for the
# program and its library.
step_fmt() {
    local s
    s="$(unpack fmtlib)"
    cmake_build "$s" /work/build/fmt-build -DBUILD_SHARED_LIBS=ON -DFMT_TEST=OFF -DFMT_DOC=OFF
}

step_spdlog() {
    local s
    s="$(unpack spdlog)"
    cmake_build "$s" /work/build/spdlog-build -DSPDLOG_BUILD_SHARED=ON -DSPDLOG_FMT_EXTERNAL=ON \
        -DSPDLOG_BUILD_EXAMPLE=OFF -DSPDLOG_BUILD_TESTS=OFF -DSPDLOG_BUILD_BENCH=OFF
}

# Header-only: Debian's architecture-independent package is the same files a
# build from source installs; its CMake package is moved under the prefix.
step_cxxopts() {
    local deb ver d=/work/build/cxxopts
    ver="$(awk '$1 == "libcxxopts-dev" { print $2 }' /work/srcpkgs/versions)"
    deb="/work/srcpkgs/libcxxopts-dev_${ver#*:}_all.deb"
    rm -rf "$d"
    dpkg-deb -x "$deb" "$d"
    install -d "$prefix/include" "$prefix/lib/cmake" "$prefix/lib/pkgconfig"
    cp -a "$d/usr/include/." "$prefix/include/"
    local cfg
    cfg="$(find "$d/usr" -type d -name cxxopts -path '*/cmake/*' | head -n 1)"
    [ -n "$cfg" ] || { echo "no CMake package in $deb"; return 1; }
    cp -a "$cfg" "$prefix/lib/cmake/"
    # Its targets file finds the prefix four levels up from lib/cmake/cxxopts
    # when it came from lib/<triplet>/cmake: check it resolves to the prefix.
    grep -h '_IMPORT_PREFIX' "$prefix"/lib/cmake/cxxopts/*.cmake | head -n 5
    find "$d/usr" -name 'cxxopts.pc' -exec sed "s|^prefix=.*|prefix=$prefix|" {} \; \
        >"$prefix/lib/pkgconfig/cxxopts.pc"
}

# SQLCipher's crypto provider, static, linked into the SQLCipher DLL. Only
# the symmetric parts SQLCipher uses are needed: no math library.
step_tomcrypt() {
    local s
    s="$(unpack libtomcrypt)"
    cd "$s"
    make -j "$jobs" -f makefile library CROSS_COMPILE="$triple-" CC="ccache $triple-gcc-posix"
    install -d "$prefix/lib" "$prefix/include/tomcrypt"
    install -m 644 libtomcrypt.a "$prefix/lib/"
    install -m 644 src/headers/*.h "$prefix/include/tomcrypt/"
}

# SQLCipher: the amalgamation is made on the host (it needs tclsh and a host
# compiler), then compiled into one DLL with libtomcrypt inside. The options
# are Debian's own, so a database moves between the two builds.
step_sqlcipher() {
    local s ver
    s="$(unpack sqlcipher)"
    ver="$(awk '/define CIPHER_VERSION_NUMBER/ { print $3 }' "$s/src/sqlcipher.c")"
    local defs=(-DSQLITE_HAS_CODEC -DSQLCIPHER_CRYPTO_LIBTOMCRYPT -DSQLITE_TEMP_STORE=2
        -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA
        -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS4 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE=1
        -DSQLITE_SOUNDEX=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_OMIT_LOOKASIDE=1
        -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 -DSQLITE_MAX_SCHEMA_RETRY=25)
    rm -rf /work/build/sqlcipher-host
    mkdir -p /work/build/sqlcipher-host
    cd /work/build/sqlcipher-host
    # The grammar depends on some of the options: the host build sees them too.
    "$s/configure" --disable-tcl --with-crypto-lib=none --enable-tempstore=yes CFLAGS="-O2 ${defs[*]}"
    make -j "$jobs" sqlite3.c
    ccache "$triple-gcc-posix" -O2 "${defs[@]}" "-DSQLITE_API=__declspec(dllexport)" \
        -I"$prefix/include/tomcrypt" -I. -c sqlite3.c -o sqlite3.o
    "$triple-gcc-posix" -shared -o libsqlcipher-0.dll sqlite3.o -Wl,--out-implib,libsqlcipher.dll.a \
        -L"$prefix/lib" -ltomcrypt -ladvapi32 -static-libgcc
    install -d "$prefix/bin" "$prefix/lib/pkgconfig" "$prefix/include/sqlcipher"
    install -m 755 libsqlcipher-0.dll "$prefix/bin/"
    install -m 644 libsqlcipher.dll.a "$prefix/lib/"
    install -m 644 sqlite3.h "$s/src/sqlite3ext.h" "$prefix/include/sqlcipher/"
    cat >"$prefix/lib/pkgconfig/sqlcipher.pc" <<EOF
prefix=$prefix
exec_prefix=\${prefix}
libdir=\${exec_prefix}/lib
includedir=\${prefix}/include

Name: SQLCipher
Description: SQL database engine with encryption (libtomcrypt)
Version: $ver
Libs: -L\${libdir} -lsqlcipher
Cflags: -I\${includedir}/sqlcipher -DSQLITE_HAS_CODEC
EOF
}

qt_common=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DCMAKE_CROSSCOMPILING_EMULATOR= -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF -DQT_GENERATE_SBOM=OFF -DQT_USE_CCACHE=OFF)

# Core, Network (TLS through Schannel), Sql without drivers (the project has
# its own) and Test; no GUI.
step_qtbase() {
    local s
    s="$(unpack qt6-base)"
    cmake_build "$s" /work/build/qtbase-build "${qt_common[@]}" -DBUILD_SHARED_LIBS=ON \
        -DFEATURE_gui=OFF -DFEATURE_widgets=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_icu=OFF -DFEATURE_openssl=OFF -DINPUT_openssl=no -DFEATURE_schannel=ON \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_sql_sqlite=OFF -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF \
        -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF \
        -DFEATURE_sql_db2=OFF -DFEATURE_sql_mimer=OFF -DFEATURE_testlib=ON
}

step_qtserialport() {
    local s
    pinned qt6-serialport || { echo "qt6-serialport: no source; left out"; return 0; }
    s="$(unpack qt6-serialport)"
    cmake_build "$s" /work/build/qtserialport-build "${qt_common[@]}"
}

# QtProtobuf (with the well-known and Qt Core types) and QtGrpc; the QML and
# Qt GUI type parts need modules this prefix has not.
step_qtgrpc() {
    local s
    pinned qt6-grpc || { echo "qt6-grpc: no source; left out"; return 0; }
    s="$(unpack qt6-grpc)"
    cmake_build "$s" /work/build/qtgrpc-build "${qt_common[@]}"
}

. "$(dirname "${BASH_SOURCE[0]}")/windows-probe.sh"
