# Precompiled headers: Qt's Core and Network modules and spdlog, which nearly
# every file includes, are compiled once (target ulvex_pch) and reused
# (REUSE_FROM) by every target, instead of parsed again in each file. One
# header serves all: every target here is built with -fPIC (Qt asks for it),
# and the definitions that differ between targets (QT_SQL_LIB, the QtTest
# case folders, ULVEX_BIN_DIR, ..._EXPORTS) are not used by these headers, so
# GCC accepts it everywhere (-Winvalid-pch, which CMake adds, would say if not).
# QtTest stays out: its header reads the per-folder QT_TESTCASE_BUILDDIR.
#
# ulvex_use_pch(target...) gives targets the shared header. At the end of the
# top-level configure every C++ target that has none yet gets it if it links
# (directly or not) both QtNetwork and spdlog: a target without their flags
# cannot use the header (GCC ignores it with a warning, or fails). The
# property ULVEX_NO_PCH on a target opts out. Off unless asked for with
# -DULVEX_PCH=ON: the gain measured was mixed. Never in the fuzz build (clang
# refuses a shared header whose macros differ from the target's).
option(ULVEX_PCH "Precompile the Qt and spdlog headers (experimental)" OFF)
if(ULVEX_FUZZ)
    set(ULVEX_PCH OFF)
endif()

set(ULVEX_PCH_HEADERS <QtCore> <QtNetwork> <spdlog/spdlog.h> <spdlog/logger.h>
    <expected> <memory> <optional> <string> <vector>)

# ccache only caches files built with a precompiled header when told that the
# header's macros and time stamps are fine to ignore (they are in the hash).
if(ULVEX_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

if(ULVEX_PCH)
    file(WRITE ${CMAKE_BINARY_DIR}/pch/pch.cpp "// Carries the shared precompiled header.\n")
    add_library(ulvex_pch OBJECT ${CMAKE_BINARY_DIR}/pch/pch.cpp)
    target_link_libraries(ulvex_pch PRIVATE Qt6::Core Qt6::Network spdlog::spdlog fmt::fmt)
    target_precompile_headers(ulvex_pch PRIVATE ${ULVEX_PCH_HEADERS})
    set_target_properties(ulvex_pch PROPERTIES ULVEX_NO_PCH ON AUTOMOC OFF POSITION_INDEPENDENT_CODE ON)
endif()

function(ulvex_use_pch)
    if(NOT ULVEX_PCH)
        return()
    endif()
    foreach(target IN LISTS ARGN)
        target_precompile_headers(${target} REUSE_FROM ulvex_pch)
    endforeach()
endfunction()

# Sets `out` to TRUE when `target` links, through any chain of targets, both
# Qt6::Network and spdlog::spdlog (whose flags the shared header was made with).
function(_ulvex_pch_fits target out)
    set(seen "")
    set(queue ${target})
    set(network FALSE)
    set(spdlog FALSE)
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
    if(network AND spdlog)
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
