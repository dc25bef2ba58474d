# Debian packages through CPack: "ulvexbackend" (program, library, tools, udev
# rule, docs) and "ulvexbackend-dev" (headers, link name, CMake package).
# scripts/package.sh runs it; configure with -DCMAKE_INSTALL_PREFIX=/usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ulvexbackend)
set(CPACK_PACKAGE_VENDOR "Ulvex")
set(CPACK_PACKAGE_CONTACT "Ulvex backend team <backend@ulvex-analyzer.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Hardware backend of the Ulvex analyzer")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Serves the analyzer frontend on 127.0.0.1:2700, drives the USB measuring
 device and saves reports into the encrypted databases. Includes the device
 simulator, the command-line client, the database tool, the device capture
 tool and the udev rule for the device.")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Development files: headers, link name and CMake package of UlvexbackendLib:
 find_package(UlvexbackendLib) gives the target Ulvex::UlvexbackendLib.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ulvexbackend)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ulvexbackend-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)

# The release names the Debian release built on, so packages of the same
# version for different releases keep apart (4.2.2-1+deb12).
set(ULVEX_DEBIAN_RELEASE "" CACHE STRING "Debian release number of the build system (read from /etc/os-release when empty)")
if(NOT ULVEX_DEBIAN_RELEASE AND EXISTS /etc/os-release)
    file(STRINGS /etc/os-release ulvex_os_version REGEX "^VERSION_ID=")
    string(REGEX REPLACE "^VERSION_ID=\"?([0-9]+).*" "\\1" ULVEX_DEBIAN_RELEASE "${ulvex_os_version}")
endif()
if(ULVEX_DEBIAN_RELEASE MATCHES "^[0-9]+$")
    set(CPACK_DEBIAN_PACKAGE_RELEASE "1+deb${ULVEX_DEBIAN_RELEASE}")
else()
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
endif()

# Runtime dependencies come from the binaries (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS udev)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm
    ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(ULVEX_PACKAGE_DEV_DEPENDS "qt6-base-dev, qt6-serialport-dev, libspdlog-dev, libfmt-dev"
    CACHE STRING "Dependencies of the development package besides the runtime package")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "ulvexbackend (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}), ${ULVEX_PACKAGE_DEV_DEPENDS}")

include(CPack)
