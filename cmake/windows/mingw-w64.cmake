# Cross toolchain for Windows x86-64 with Debian's MinGW-w64 (GCC, posix
# thread model: std::thread and friends need it).
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/windows/mingw-w64.cmake \
#         -DCMAKE_PREFIX_PATH=/opt/win64 -DQT_HOST_PATH=/usr \
#         -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake ...
#
# The prefix with the cross-built libraries (Qt, fmt, spdlog, SQLCipher, ...)
# is ULVEX_WIN64_PREFIX (cache variable or environment), /opt/win64 by default;
# scripts/windows-toolchain.sh makes it. Host tools (moc, rcc, protoc,
# qtprotobufgen, ...) come from the host through QT_HOST_PATH.
#
# Running the programs needs, besides the prefix's bin/*.dll and plugins/, the
# MinGW runtime DLLs of Debian 13's mingw-w64 packages:
#   libstdc++-6.dll, libgcc_s_seh-1.dll  /usr/lib/gcc/x86_64-w64-mingw32/14-posix/
#   libwinpthread-1.dll                  /usr/x86_64-w64-mingw32/lib/
# (under Wine: list those folders in WINEPATH, or copy the DLLs beside the exe).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_ulvex_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_ulvex_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_ulvex_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_ulvex_triple}-windres)
set(CMAKE_AR ${_ulvex_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_ulvex_triple}-ranlib CACHE FILEPATH "")

if(NOT ULVEX_WIN64_PREFIX)
    if(DEFINED ENV{ULVEX_WIN64_PREFIX})
        set(ULVEX_WIN64_PREFIX "$ENV{ULVEX_WIN64_PREFIX}")
    else()
        set(ULVEX_WIN64_PREFIX /opt/win64)
    endif()
endif()
# try_compile projects read this file again: hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ULVEX_WIN64_PREFIX)

# Libraries, headers and packages come only from the MinGW sysroot and the
# prefix, never from the host; programs (code generators) only from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${_ulvex_triple} ${ULVEX_WIN64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees the prefix's .pc files only.
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "")
set(ENV{PKG_CONFIG_LIBDIR} "${ULVEX_WIN64_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

# Wine runs the cross-built tests (ctest) and try_run checks; pass
# -DCMAKE_CROSSCOMPILING_EMULATOR= to do without.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(_ulvex_wine NAMES wine wine64)
    if(_ulvex_wine)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${_ulvex_wine})
    endif()
endif()
