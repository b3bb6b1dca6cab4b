# cvpack's sources but its entry point, built once as the library cvpackcore
# that the cvpack program, the tests and the fuzz targets link. The includer
# names the launcher library that cvpack builds on in CVPACK_LAUNCHER_LIBRARY
# and has made the runtime image library cvruntimeimage (RuntimeImage.cmake).
# The packer reads the manifests of jars with libzip; the launcher itself
# needs nothing beyond the C and C++ libraries. (Debian's CMake package file
# of libzip names programs of another package, so the library is looked up
# directly.)
file(GLOB CVPACK_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(REMOVE_ITEM CVPACK_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
find_path(LIBZIP_INCLUDE_DIR zip.h REQUIRED)
find_library(LIBZIP_LIBRARY zip REQUIRED)
add_library(cvpackcore STATIC ${CVPACK_CORE_SOURCES})
# Its headers are included as "cvpack/PackerOptions.h".
target_include_directories(cvpackcore PUBLIC ${CMAKE_CURRENT_LIST_DIR}/.. ${LIBZIP_INCLUDE_DIR})
target_link_libraries(cvpackcore PUBLIC ${CVPACK_LAUNCHER_LIBRARY} ${LIBZIP_LIBRARY} cvruntimeimage)
