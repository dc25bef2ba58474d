# Installs the development files into a scratch prefix, puts the library
# beside them, then builds and runs a program outside the project that uses
# the remote classes (consumer/): the installed headers and package must do.
# cmake -DBUILD_DIR= -DPREFIX= -DLIBRARY= -DLIBDIR= -DCONSUMER= -P installcheck.cmake
file(REMOVE_RECURSE ${PREFIX})
function(step what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed: ${rc}")
    endif()
endfunction()
step("installing the development files"
    ${CMAKE_COMMAND} --install ${BUILD_DIR} --component development --prefix ${PREFIX})
file(COPY ${LIBRARY} DESTINATION ${PREFIX}/${LIBDIR} FOLLOW_SYMLINK_CHAIN)
step("configuring the consumer" ${CMAKE_COMMAND} -S ${CONSUMER} -B ${PREFIX}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_BUILD_TYPE=Release)
step("building the consumer" ${CMAKE_COMMAND} --build ${PREFIX}/build)
step("running the consumer"
    ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${PREFIX}/${LIBDIR} ${PREFIX}/build/remoteconsumer)
file(REMOVE_RECURSE ${PREFIX})
