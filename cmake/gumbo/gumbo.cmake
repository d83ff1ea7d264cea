# The HTML parser gumbo as a static library, quorvane_gumbo, from sources that fetch.cmake brings into the build tree.
#
# QUORVANE_GUMBO_DIR (a cache variable; the Windows builds hand theirs to the
# host tools' own build) holds the patched sources and the licence text, whose
# path QUORVANE_GUMBO_LICENSE gives to the release.
include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)
set(QUORVANE_GUMBO_DIR ${CMAKE_BINARY_DIR}/_deps/gumbo-${QUORVANE_GUMBO_VERSION} CACHE PATH
    "Folder of gumbo's patched sources, fetched at configure time")

# Run at every configure; it returns at once when the stamp matches the tarball and the patches.
execute_process(COMMAND ${CMAKE_COMMAND} -DDEST=${QUORVANE_GUMBO_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/fetch.cmake
                RESULT_VARIABLE _gumbo_fetch_result)
if(NOT _gumbo_fetch_result EQUAL 0)
  message(FATAL_ERROR "Could not fetch gumbo's sources into ${QUORVANE_GUMBO_DIR}")
endif()
# A new or changed patch or checksum configures again, which fetches again.
file(GLOB _gumbo_patches CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.patch)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${_gumbo_patches} ${CMAKE_CURRENT_LIST_DIR}/version.cmake ${CMAKE_CURRENT_LIST_DIR}/fetch.cmake)

set(QUORVANE_GUMBO_LICENSE ${QUORVANE_GUMBO_DIR}/COPYING)
set(_gumbo_src ${QUORVANE_GUMBO_DIR}/src)
# char_ref.c is left out: site/ reads the references for it, over the table the page reader uses.
add_library(quorvane_gumbo STATIC
  ${_gumbo_src}/attribute.c ${_gumbo_src}/error.c ${_gumbo_src}/parser.c
  ${_gumbo_src}/string_buffer.c ${_gumbo_src}/string_piece.c ${_gumbo_src}/tag.c ${_gumbo_src}/tokenizer.c
  ${_gumbo_src}/utf8.c ${_gumbo_src}/util.c ${_gumbo_src}/vector.c)
# Its headers are reached as a system folder, so their warnings stay quiet in the project's own files.
target_include_directories(quorvane_gumbo SYSTEM PUBLIC ${_gumbo_src})
set_target_properties(quorvane_gumbo PROPERTIES C_STANDARD 99 C_EXTENSIONS ON)
# gumbo's own files warn about signed comparisons and unused parameters by the hundred; they are not ours to mend.
target_compile_options(quorvane_gumbo PRIVATE -w)
# The fuzz build keeps gumbo's own consistency checks (assert), so that a broken invariant stops the run.
if(QUORVANE_FUZZ)
  target_compile_options(quorvane_gumbo PRIVATE -UNDEBUG)
endif()
