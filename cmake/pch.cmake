# Precompiled headers for the tests: Qt's Core and Network modules and
# spdlog, which every test file includes, are compiled once (target
# ulvex_pch) and reused (REUSE_FROM) by every test and benchmark, instead of
# parsed again in each file. A test file is mostly headers: it compiles in
# about a third less CPU time with it (3 to 4 of 8 to 10 seconds), against
# about 23 seconds for the header itself. The library and programs build without it:
# in their unity batches it saved about 5% (measured per batch), not worth a
# second set of flags for what is packaged.
#
# One header serves all: every target here is built with -fPIC (Qt asks for
# it), and the definitions that differ between targets (the QtTest case
# folders, ULVEX_BIN_DIR, ...) are not used by these headers, so GCC accepts
# it (-Winvalid-pch, which CMake adds, says if not). The header is made
# without definitions a target could lack: GCC refuses it to a target missing
# one. QtTest stays out: its header reads the per-folder QT_TESTCASE_BUILDDIR.
#
# Off by default (-DULVEX_PCH=ON). With unity batches, a whole build from
# nothing took 923 CPU seconds with it (484 s on 2 cores), against 1022
# without (530 s). But the header
# holds the paths of the checkout it was made in, so ccache finds none of the
# files built with it in a clone in another folder: a second clone, cache
# warm, compiled 61 of its 172 files again (357 s instead of a few dozen).
# CI builds a fresh clone every time, so that loss recurs and the gain does
# not.
#
# ulvex_use_pch(target...) gives targets the shared header. At the end of the
# top-level configure every C++ target that has none yet gets it if it links
# (directly or not) QtTest, QtNetwork and spdlog: a target without their
# flags cannot use the header (GCC ignores it with a warning, or fails). The
# property ULVEX_NO_PCH on a target opts out. Never in the fuzz build (clang
# refuses a shared header whose macros differ from the target's).
option(ULVEX_PCH "Precompile the Qt and spdlog headers for the tests" OFF)
if(ULVEX_FUZZ)
    set(ULVEX_PCH OFF)
endif()

set(ULVEX_PCH_HEADERS <QtCore> <QtNetwork> <spdlog/spdlog.h> <spdlog/logger.h>
    <expected> <memory> <optional> <string> <vector>)

# ccache only caches files built with a precompiled header when told that the
# header's macros and time stamps are fine to ignore (they are in the hash);
# only those targets get the looser check.
set(ulvex_pch_launcher "")
if(ULVEX_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(ulvex_pch_launcher ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

if(ULVEX_PCH)
    file(WRITE ${CMAKE_BINARY_DIR}/pch/pch.cpp "// Carries the shared precompiled header.\n")
    # Built only when a target reuses it.
    add_library(ulvex_pch OBJECT EXCLUDE_FROM_ALL ${CMAKE_BINARY_DIR}/pch/pch.cpp)
    target_link_libraries(ulvex_pch PRIVATE Qt6::Core Qt6::Network spdlog::spdlog fmt::fmt)
    target_precompile_headers(ulvex_pch PRIVATE ${ULVEX_PCH_HEADERS})
    set_target_properties(ulvex_pch PROPERTIES ULVEX_NO_PCH ON AUTOMOC OFF POSITION_INDEPENDENT_CODE ON)
    if(ulvex_pch_launcher)
        set_target_properties(ulvex_pch PROPERTIES CXX_COMPILER_LAUNCHER "${ulvex_pch_launcher}")
    endif()
endif()

function(ulvex_use_pch)
    if(NOT ULVEX_PCH)
        return()
    endif()
    foreach(target IN LISTS ARGN)
        target_precompile_headers(${target} REUSE_FROM ulvex_pch)
        if(ulvex_pch_launcher)
            set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER "${ulvex_pch_launcher}")
        endif()
        # Moc's collection file is empty where the sources include their
        # moc output (the tests do): loading the header would cost more.
        get_target_property(bindir ${target} BINARY_DIR)
        set_source_files_properties(${bindir}/${target}_autogen/mocs_compilation.cpp
            TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endforeach()
endfunction()

# Sets `out` to TRUE when `target` links, through any chain of targets,
# Qt6::Test, Qt6::Network and spdlog::spdlog (the header was made with the
# last two's flags).
function(_ulvex_pch_fits target out)
    set(seen "")
    set(queue ${target})
    set(network FALSE)
    set(spdlog FALSE)
    set(test FALSE)
    while(queue)
        list(POP_FRONT queue item)
        # $<LINK_ONLY:x> and similar wrappers name the target inside.
        string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" item "${item}")
        if(item IN_LIST seen OR NOT TARGET "${item}")
            continue()
        endif()
        list(APPEND seen ${item})
        get_target_property(real ${item} ALIASED_TARGET)
        if(real)
            set(item ${real})
        endif()
        if(item MATCHES "^Qt6?::Network$")
            set(network TRUE)
        elseif(item STREQUAL "spdlog::spdlog")
            set(spdlog TRUE)
        elseif(item MATCHES "^Qt6?::Test$")
            set(test TRUE)
        endif()
        get_target_property(type ${item} TYPE)
        set(links "")
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(links ${item} LINK_LIBRARIES)
        endif()
        get_target_property(interface ${item} INTERFACE_LINK_LIBRARIES)
        foreach(list IN ITEMS links interface)
            if(${list})
                list(APPEND queue ${${list}})
            endif()
        endforeach()
    endwhile()
    if(network AND spdlog AND test)
        set(${out} TRUE PARENT_SCOPE)
    else()
        set(${out} FALSE PARENT_SCOPE)
    endif()
endfunction()

# Every C++ target below `dir` that has no precompiled header, no opt-out and
# the flags the shared header needs.
function(_ulvex_pch_walk dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|STATIC_LIBRARY|OBJECT_LIBRARY|MODULE_LIBRARY)$")
            continue()
        endif()
        get_target_property(off ${target} ULVEX_NO_PCH)
        get_target_property(own ${target} PRECOMPILE_HEADERS)
        get_target_property(reused ${target} PRECOMPILE_HEADERS_REUSE_FROM)
        if(off OR own OR reused)
            continue()
        endif()
        _ulvex_pch_fits(${target} fits)
        if(fits)
            ulvex_use_pch(${target})
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        _ulvex_pch_walk(${subdir})
    endforeach()
endfunction()

if(ULVEX_PCH)
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _ulvex_pch_walk ${CMAKE_SOURCE_DIR})
endif()
