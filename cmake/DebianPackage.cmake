# The Debian package cvlaunch_<version>_amd64.deb, made by
# `cmake --build build --target package` or `cpack -G DEB` in the build
# directory. It installs under /usr:
#   bin/cvlaunch, bin/cvpack
#   share/cvlaunch/verify.jar      (tools/verify)
#   lib/cvlaunch/cvinstall         (the runtime installer)
#   share/man/man1/cvlaunch.1.gz, share/man/man1/cvpack.1.gz
# The manual pages are made from the programs' --help and --version, so they
# say what the built programs say, with the project's version.

find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

set(MAN_PAGE_DIR ${CMAKE_BINARY_DIR}/man)
set(MAN_PAGES)

# add_man_page(PROGRAM SUMMARY): PROGRAM.1.gz, whose NAME line is SUMMARY.
function(add_man_page program summary)
    set(page ${MAN_PAGE_DIR}/${program}.1)
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${MAN_PAGE_DIR}
        COMMAND ${HELP2MAN} --no-info --section=1 --name=${summary} --output=${page}
                $<TARGET_FILE:${program}>
        # -n: no name or time stamp in the archive, so equal pages compress
        # to equal bytes.
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${program}
        COMMENT "Writing the manual page of ${program}"
        VERBATIM)
    set(MAN_PAGES ${MAN_PAGES} ${page}.gz PARENT_SCOPE)
endfunction()

add_man_page(cvlaunch "find a Java virtual machine and run Java programs")
add_man_page(cvpack "make launcher files for Java applications")
add_custom_target(man_pages ALL DEPENDS ${MAN_PAGES})
install(FILES ${MAN_PAGES} DESTINATION share/man/man1)

set(CVLAUNCH_PACKAGE_MAINTAINER "cvlaunch maintainers <maintainers@cvlaunch.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cvlaunch)
set(CPACK_PACKAGE_CONTACT ${CVLAUNCH_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "native launcher for Java applications and a JVM finder")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "cvlaunch runs Java applications packed into one executable launcher file: "
    "it finds and verifies an installed Java virtual machine, or installs the one "
    "the launcher file carries, and starts the application. cvpack makes the "
    "launcher files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION java)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries that the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# cvpack is linked with its symbols; the package carries none.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "default-jre-headless | java-runtime-headless")
include(CPack)
