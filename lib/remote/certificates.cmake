# The client certificate, its key and the server's authority, compiled into
# the library uncompressed as :/cert/client.pem, :/cert/client-key.pem and
# :/cert/server.ca. The resource registers itself when the library is loaded
# and unregisters when it is unloaded. A set made by makedevcert.cmake also
# carries :/cert/development, which the program warns about at start; the
# global property ULVEX_DEVELOPMENT_CERTIFICATES tells the packaging the same.
set(ULVEX_CERT_DIR "" CACHE PATH
    "Folder with the deployment's client.pem, client-key.pem and server.ca for the remote service; empty makes a throw-away development set")

set(ulvex_cert_files client.pem client-key.pem server.ca)
if(ULVEX_CERT_DIR)
    set(ulvex_cert_dir ${ULVEX_CERT_DIR})
    foreach(file IN LISTS ulvex_cert_files)
        if(NOT EXISTS ${ulvex_cert_dir}/${file})
            message(FATAL_ERROR "ULVEX_CERT_DIR ${ulvex_cert_dir} has no ${file}")
        endif()
    endforeach()
    message(STATUS "Remote service: certificates from ${ulvex_cert_dir}")
else()
    set(ulvex_cert_dir ${CMAKE_BINARY_DIR}/devcert)
    if(NOT EXISTS ${ulvex_cert_dir}/development)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -DOUT=${ulvex_cert_dir} -P ${CMAKE_CURRENT_LIST_DIR}/makedevcert.cmake
            RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "Could not make the development certificate set (needs openssl)")
        endif()
    endif()
    message(STATUS "Remote service: no ULVEX_CERT_DIR given; compiling in a throw-away development "
                   "certificate set from ${ulvex_cert_dir} (not for deployment)")
endif()

if(EXISTS ${ulvex_cert_dir}/development)
    list(APPEND ulvex_cert_files development)
    set_property(GLOBAL PROPERTY ULVEX_DEVELOPMENT_CERTIFICATES ON)
    if(ULVEX_CERT_DIR)
        message(STATUS "Remote service: ${ulvex_cert_dir} is a development set (not for deployment)")
    endif()
else()
    set_property(GLOBAL PROPERTY ULVEX_DEVELOPMENT_CERTIFICATES OFF)
endif()

set(ulvex_cert_paths)
foreach(file IN LISTS ulvex_cert_files)
    list(APPEND ulvex_cert_paths ${ulvex_cert_dir}/${file})
endforeach()
qt_add_resources(UlvexbackendLib ulvex_remote_cert
    PREFIX /cert
    BASE ${ulvex_cert_dir}
    FILES ${ulvex_cert_paths}
    OPTIONS -no-compress)
