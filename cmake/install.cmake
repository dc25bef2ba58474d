# Install rules shared by the whole tree: the CMake package of the library,
# the udev rule, the documentation and the manual pages. Programs and the library install
# themselves in their own folders (install(TARGETS ...) next to the target).
include(CMakePackageConfigHelpers)

# Packages the library's public interface needs; the package file finds them
# for its users. Areas that link more publicly append here.
set(ULVEX_PACKAGE_QT_COMPONENTS Core Network Sql)
# Our Win32 serial layer, where it stands in for Qt's module, comes with the
# library's own exported targets.
if(NOT TARGET ulvex_serialport)
    list(APPEND ULVEX_PACKAGE_QT_COMPONENTS SerialPort)
endif()
if(ULVEX_QT_GRPC)
    list(APPEND ULVEX_PACKAGE_QT_COMPONENTS Protobuf Grpc)
endif()
set(ULVEX_PACKAGE_DEPENDENCIES spdlog fmt)

install(EXPORT UlvexbackendLibTargets
    NAMESPACE Ulvex::
    DESTINATION ${ULVEX_INSTALL_CMAKEDIR}
    COMPONENT development)
configure_package_config_file(cmake/UlvexbackendLibConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/UlvexbackendLibConfig.cmake
    INSTALL_DESTINATION ${ULVEX_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/UlvexbackendLibConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/UlvexbackendLibConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/UlvexbackendLibConfigVersion.cmake
    DESTINATION ${ULVEX_INSTALL_CMAKEDIR}
    COMPONENT development)

# Linux only: the udev rule and the manual pages (Windows has neither).
if(WIN32)
    install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
    return()
endif()

install(FILES docs/udev/99-ulvex-analyzer.rules
    DESTINATION ${ULVEX_INSTALL_UDEVRULESDIR}
    COMPONENT runtime)

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime
    FILES_MATCHING PATTERN "*.md" PATTERN "udev" EXCLUDE)

# Manual pages and Debian's changelog install gzipped (-n: no name or time
# stamp inside, so equal input gives an equal file).
find_program(ULVEX_GZIP gzip REQUIRED)
add_custom_target(ulvex_gzipped_docs ALL)
function(ulvex_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${ULVEX_GZIP} -9nc ${source} > ${output}
        DEPENDS ${source})
    set_property(TARGET ulvex_gzipped_docs APPEND PROPERTY SOURCES ${output})
endfunction()

# One page for each program in bin/.
set(ULVEX_MANUAL_PAGES Ulvexbackend ulvex-client ulvex-device-sim ulvex-dbtool
    ulvex-device-capture ulvex-remote)
foreach(program IN LISTS ULVEX_MANUAL_PAGES)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
    ulvex_gzip(${PROJECT_SOURCE_DIR}/docs/man/${program}.1 ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endforeach()

# Qt's project set-up gives installed binaries the run path
# $ORIGIN:$ORIGIN/../<libdir>; in the system's folders the dynamic linker
# finds the library without one, and Debian wants none there.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
    set_property(TARGET ${ULVEX_MANUAL_PAGES} UlvexbackendLib PROPERTY INSTALL_RPATH "")
endif()
