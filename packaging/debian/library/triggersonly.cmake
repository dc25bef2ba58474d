# Run by CPack once it has made the packages (CPACK_POST_BUILD_SCRIPTS). CPack
# gives a package with a shared library in /usr/lib maintainer scripts that
# call ldconfig; on Debian the library package activates the ldconfig trigger
# instead (packaging/debian/library/triggers), so those scripts come out.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name ${deb} NAME)
    if(NOT name MATCHES "^${CPACK_DEBIAN_LIBRARY_PACKAGE_NAME}_.*\\.deb$")
        continue()
    endif()
    set(tree ${deb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb -R ${deb} ${tree} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Could not unpack ${deb}")
    endif()
    file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
    execute_process(COMMAND dpkg-deb --root-owner-group -b ${tree} ${deb}
        RESULT_VARIABLE result OUTPUT_QUIET)
    file(REMOVE_RECURSE ${tree})
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Could not pack ${deb} again")
    endif()
endforeach()
