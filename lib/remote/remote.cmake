# Remote analyzer service: the message and client classes of analyzer.proto
# and the compiled-in certificate resources. Included from lib/CMakeLists.txt
# (not a folder of its own): Qt's generator and resource rules must live in
# the folder that makes the library.
set(ULVEX_REMOTE_PROTO ${CMAKE_CURRENT_LIST_DIR}/analyzer.proto)

# What users of the message and client classes link besides the library:
# the headers and, on Qt's path, Qt's modules.
add_library(UlvexRemote INTERFACE)
target_link_libraries(UlvexRemote INTERFACE UlvexbackendLib)

# Qt's own generators where Qt has the modules (Qt 6.8 on Debian 13), our
# layer otherwise (Qt 6.4 on Debian 12). Code using the classes is the same.
if(ULVEX_QT_GRPC)
    qt_add_protobuf(UlvexbackendLib PROTO_FILES ${ULVEX_REMOTE_PROTO})
    qt_add_grpc(UlvexbackendLib CLIENT PROTO_FILES ${ULVEX_REMOTE_PROTO})
    target_link_libraries(UlvexbackendLib PUBLIC Qt6::Protobuf Qt6::Grpc)
    target_link_libraries(UlvexRemote INTERFACE Qt6::Protobuf Qt6::Grpc)
    message(STATUS "Remote service: classes from Qt's protobuf and gRPC generators (Qt ${Qt6_VERSION})")
else()
    add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/qtgrpccompat ${CMAKE_CURRENT_BINARY_DIR}/remote/qtgrpccompat)
    message(STATUS "Remote service: Qt ${Qt6_VERSION} has no Protobuf/Grpc modules; using our layer over grpc++")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/certificates.cmake)
