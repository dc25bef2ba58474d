# Remote analyzer service: the message and client classes of analyzer.proto
# and the compiled-in certificate resources. Included from lib/CMakeLists.txt
# (not a folder of its own): Qt's generator and resource rules must live in
# the folder that makes the library.
set(ULVEX_REMOTE_PROTO ${CMAKE_CURRENT_LIST_DIR}/analyzer.proto)
# Where the development package puts the remote service's headers.
set(ULVEX_REMOTE_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/ulvex/remote)

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
    # The generators' sources keep a translation unit each: their file-local
    # names are not ours to keep apart (and the library has no others).
    set_property(TARGET UlvexbackendLib PROPERTY UNITY_BUILD OFF)
    message(STATUS "Remote service: classes from Qt's protobuf and gRPC generators (Qt ${Qt6_VERSION})")
else()
    add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/qtgrpccompat ${CMAKE_CURRENT_BINARY_DIR}/remote/qtgrpccompat)
    message(STATUS "Remote service: Qt ${Qt6_VERSION} has no Protobuf/Grpc modules; using our layer over grpc++")
endif()

# The development package carries the generated headers (and, on our layer,
# the layer's), so code built against the installed library uses the classes
# as the project does: "analyzer_client.grpc.qpb.h", <QGrpcHttp2Channel>.
target_include_directories(UlvexbackendLib PUBLIC $<INSTALL_INTERFACE:${ULVEX_REMOTE_INCLUDEDIR}>)
if(ULVEX_QT_GRPC)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/analyzer.qpb.h ${CMAKE_CURRENT_BINARY_DIR}/analyzer_client.grpc.qpb.h
        DESTINATION ${ULVEX_REMOTE_INCLUDEDIR} COMPONENT development)
    # The export macros of the generated classes, where Qt's generator writes them.
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ulvexbackendlib_exports.qpb.h
        DESTINATION ${ULVEX_REMOTE_INCLUDEDIR} COMPONENT development OPTIONAL)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/certificates.cmake)
