# Install rules shared by the whole tree: the CMake package of the library,
# the udev rule and the documentation. Programs and the library install
# themselves in their own folders (install(TARGETS ...) next to the target).
include(CMakePackageConfigHelpers)

# Packages the library's public interface needs; the package file finds them
# for its users. Areas that link more publicly append here.
set(ULVEX_PACKAGE_QT_COMPONENTS Core Network SerialPort Sql)
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

install(FILES docs/udev/99-ulvex-analyzer.rules
    DESTINATION ${ULVEX_INSTALL_UDEVRULESDIR}
    COMPONENT runtime)

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime
    FILES_MATCHING PATTERN "*.md" PATTERN "udev" EXCLUDE)
