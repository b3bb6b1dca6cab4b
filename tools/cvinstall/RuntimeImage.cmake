# The runtime image library cvruntimeimage: writing, describing and unpacking
# the Java runtime that a launcher carries (RuntimeImage.h), with libarchive
# and zstd. The includer names the launcher library that it builds on in
# CVPACK_LAUNCHER_LIBRARY. cvpack links it with the system's shared
# libraries; a target whose property CVINSTALL_STATIC_ARCHIVE is true gets the
# static ones instead: the installer, which must run wherever the launcher
# does. Of libarchive's dependencies only those of the parts used here (tar,
# zstd, the disk reader and writer) are named: ACLs (libacl) are referenced by
# the disk code even though they are never restored.
find_path(LIBARCHIVE_INCLUDE_DIR archive.h REQUIRED)
find_path(ZSTD_INCLUDE_DIR zstd.h REQUIRED)
find_library(LIBARCHIVE_LIBRARY archive REQUIRED)
find_library(ZSTD_LIBRARY zstd REQUIRED)
set(CVINSTALL_STATIC_LIBRARIES)
foreach(name archive zstd acl)
    find_library(STATIC_${name}_LIBRARY lib${name}.a REQUIRED)
    list(APPEND CVINSTALL_STATIC_LIBRARIES ${STATIC_${name}_LIBRARY})
endforeach()

add_library(cvruntimeimage STATIC
    ${CMAKE_CURRENT_LIST_DIR}/RuntimeImage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EntryRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ZstdSink.cpp)
# Its headers are included as "cvinstall/RuntimeImage.h".
target_include_directories(cvruntimeimage PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..
    ${LIBARCHIVE_INCLUDE_DIR} ${ZSTD_INCLUDE_DIR})
target_link_libraries(cvruntimeimage PUBLIC ${CVPACK_LAUNCHER_LIBRARY}
    "$<IF:$<BOOL:$<TARGET_PROPERTY:CVINSTALL_STATIC_ARCHIVE>>,${CVINSTALL_STATIC_LIBRARIES},${LIBARCHIVE_LIBRARY};${ZSTD_LIBRARY}>")
