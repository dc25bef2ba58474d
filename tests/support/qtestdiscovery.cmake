# Runs at CTest time (a TEST_INCLUDE_FILES script): registers one CTest entry
# per test function of a QtTest executable, as `<exe> -functions` lists them,
# so the entries follow the source. The list is kept next to the executable
# and made again whenever the executable is newer.
#
# ulvex_discover_qtest(NAME n EXE path WORKDIR dir TIMEOUT s
#                      [LAUNCHER cmd...] [PROPERTIES prop value...])
function(ulvex_discover_qtest)
    cmake_parse_arguments(ARG "" "NAME;EXE;WORKDIR;TIMEOUT;LIST" "LAUNCHER;PROPERTIES" ${ARGN})
    if(NOT EXISTS "${ARG_EXE}")
        # Not built (e.g. a partial build): one entry that says so.
        add_test("${ARG_NAME}_NOT_BUILT" "${ARG_NAME}_NOT_BUILT")
        set_tests_properties("${ARG_NAME}_NOT_BUILT" PROPERTIES ${ARG_PROPERTIES})
        return()
    endif()
    if(NOT EXISTS "${ARG_LIST}" OR "${ARG_EXE}" IS_NEWER_THAN "${ARG_LIST}")
        execute_process(COMMAND "${ARG_EXE}" -functions
            WORKING_DIRECTORY "${ARG_WORKDIR}"
            OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
        if(NOT rc EQUAL 0)
            message(WARNING "${ARG_NAME} -functions failed (${rc}): ${err}")
            add_test("${ARG_NAME}_NOT_DISCOVERED" "${ARG_EXE}" -functions)
            set_tests_properties("${ARG_NAME}_NOT_DISCOVERED" PROPERTIES ${ARG_PROPERTIES})
            return()
        endif()
        # One name per line, "name()".
        string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" found "${out}")
        list(TRANSFORM found REPLACE "\\(\\)$" "")
        file(WRITE "${ARG_LIST}" "${found}")
    endif()
    file(READ "${ARG_LIST}" functions)
    if(functions STREQUAL "")
        add_test("${ARG_NAME}_NO_FUNCTIONS" "${ARG_EXE}" -functions)
        set_tests_properties("${ARG_NAME}_NO_FUNCTIONS" PROPERTIES ${ARG_PROPERTIES} WILL_FAIL TRUE)
        return()
    endif()
    foreach(function IN LISTS functions)
        set(test "${ARG_NAME}.${function}")
        add_test("${test}" ${ARG_LAUNCHER} "${ARG_EXE}" "${function}")
        set_tests_properties("${test}" PROPERTIES
            WORKING_DIRECTORY "${ARG_WORKDIR}" TIMEOUT "${ARG_TIMEOUT}" ${ARG_PROPERTIES})
    endforeach()
endfunction()
