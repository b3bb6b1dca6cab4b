# add_version_header(TARGET VERSION) writes base/Version.h, which gives the
# code VERSION, into the build tree, and puts it on the include path of
# TARGET and of whatever links TARGET.
function(add_version_header target version)
    set(CVLAUNCH_VERSION ${version})
    set(generated ${CMAKE_BINARY_DIR}/generated)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../src/base/Version.h.in
                   ${generated}/base/Version.h @ONLY)
    target_include_directories(${target} PUBLIC ${generated})
endfunction()
