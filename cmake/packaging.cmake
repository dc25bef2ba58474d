# Debian packages through CPack, one per install component:
#   libulvexbackendlib4 (library): the shared library, named after its SONAME
#   ulvexbackend (runtime): the program, the tools, manual pages, udev rule, docs
#   ulvexbackend-dev (development): headers, link name, CMake package
# scripts/package.sh runs it; configure with -DCMAKE_INSTALL_PREFIX=/usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ulvexbackend)
set(CPACK_PACKAGE_VENDOR "Ulvex")
set(CPACK_PACKAGE_CONTACT "Ulvex backend team <backend@ulvex-analyzer.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library runtime development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)

get_target_property(ulvex_soversion UlvexbackendLib SOVERSION)
string(TOLOWER "libUlvexbackendLib${ulvex_soversion}" ULVEX_LIBRARY_PACKAGE)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${ULVEX_LIBRARY_PACKAGE})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ulvexbackend)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ulvexbackend-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)

# Each package's first description line is its own summary; CPack would put
# a shared one in front unless the summary stays CPack's default.
get_property(ulvex_dev_certificates GLOBAL PROPERTY ULVEX_DEVELOPMENT_CERTIFICATES)
set(ulvex_cert_note "")
if(ulvex_dev_certificates)
    set(ulvex_cert_note "\n.\nThis build carries the throw-away development certificate set for the\nremote service: it is not for deployment.")
endif()
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Hardware backend of the Ulvex analyzer - shared library
UlvexbackendLib drives the USB measuring device of the Ulvex analyzer, times
measurements, saves reports into the encrypted databases and talks to the
remote analyzer service. The program in the ulvexbackend package uses it.${ulvex_cert_note}")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "Hardware backend of the Ulvex analyzer
Serves the analyzer frontend on 127.0.0.1:2700, drives the USB measuring
device and saves reports into the encrypted databases. Includes the device
simulator, the command-line client, the database tool, the device capture
tool, the remote service tool and the udev rule for the device.${ulvex_cert_note}")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Hardware backend of the Ulvex analyzer - development files
Headers, link name and CMake package of UlvexbackendLib:
find_package(UlvexbackendLib) gives the target Ulvex::UlvexbackendLib.")

# The release names the Debian release built on, so packages of the same
# version for different releases keep apart (4.2.2-1+deb12).
set(ULVEX_DEBIAN_RELEASE "" CACHE STRING "Debian release number of the build system (read from /etc/os-release when empty)")
set(ulvex_codename unstable)
if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release ulvex_os_version REGEX "^VERSION_ID=")
    file(STRINGS /etc/os-release ulvex_os_codename REGEX "^VERSION_CODENAME=[a-z]+$")
    if(ulvex_os_codename)
        string(REPLACE "VERSION_CODENAME=" "" ulvex_codename "${ulvex_os_codename}")
    endif()
    if(NOT ULVEX_DEBIAN_RELEASE)
        string(REGEX REPLACE "^VERSION_ID=\"?([0-9]+).*" "\\1" ULVEX_DEBIAN_RELEASE "${ulvex_os_version}")
    endif()
endif()
if(ULVEX_DEBIAN_RELEASE MATCHES "^[0-9]+$")
    set(CPACK_DEBIAN_PACKAGE_RELEASE "1+deb${ULVEX_DEBIAN_RELEASE}")
else()
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
endif()
set(ulvex_deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

# Dependencies on other packages come from the binaries (dpkg-shlibdeps, in
# dpkg-dev); the library package declares what it provides (shlibs) and the
# other two depend on exactly this build of it. dpkg-shlibdeps finds the
# library for the programs in the build tree.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_RUNTIME_DEPENDS library)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS udev)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/library/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian/library/triggersonly.cmake)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(ULVEX_PACKAGE_DEV_DEPENDS "qt6-base-dev, qt6-serialport-dev, libspdlog-dev, libfmt-dev"
    CACHE STRING "Dependencies of the development package besides the library package")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ${ULVEX_PACKAGE_DEV_DEPENDS})

# Every package carries its copyright file and Debian changelog.
string(TIMESTAMP ulvex_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
ulvex_gzip(${CMAKE_BINARY_DIR}/debian/changelog.Debian ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    install(FILES packaging/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
        COMPONENT ${component})
endforeach()

include(CPack)
