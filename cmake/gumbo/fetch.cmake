# Fetches gumbo 0.10.1's C sources from the npm registry, checks them and applies the project's patches: cmake -DDEST=FOLDER -P fetch.cmake
#
# The npm package gumbo-parser@0.3.0 (a binding) carries gumbo's sources in
# deps/gumbo-parser/src; `npm pack` downloads its tarball without running its
# build, which `npm install` would try. The tarball is kept in DEST, so that a
# changed patch is applied again without the network. DEST/src holds the
# patched sources and DEST/COPYING the licence once everything has passed;
# DEST/stamp names the tarball's checksum and the patches that made them.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)
if(NOT DEST)
  message(FATAL_ERROR "usage: cmake -DDEST=FOLDER -P fetch.cmake")
endif()

file(MAKE_DIRECTORY ${DEST})
# Two builds configured at once (a Windows build and its host tools) must not unpack over each other.
file(LOCK ${DEST}/.lock GUARD PROCESS TIMEOUT 600)

file(GLOB _patches ${CMAKE_CURRENT_LIST_DIR}/*.patch)
list(SORT _patches)
set(_stamp "${QUORVANE_GUMBO_TARBALL_SHA256}")
foreach(_patch IN LISTS _patches)
  file(SHA256 ${_patch} _sum)
  string(APPEND _stamp "\n${_sum}")
endforeach()
if(EXISTS ${DEST}/stamp)
  file(READ ${DEST}/stamp _old_stamp)
  if(_old_stamp STREQUAL _stamp AND EXISTS ${DEST}/src/parser.c AND EXISTS ${DEST}/COPYING)
    return()
  endif()
endif()

set(_tarball ${DEST}/${QUORVANE_GUMBO_TARBALL})
set(_sum "")
if(EXISTS ${_tarball})
  file(SHA256 ${_tarball} _sum)
endif()
if(NOT _sum STREQUAL QUORVANE_GUMBO_TARBALL_SHA256)
  find_program(NPM npm)
  if(NOT NPM)
    message(FATAL_ERROR "npm is needed to fetch gumbo's sources (${QUORVANE_GUMBO_NPM_PACKAGE}); tools/setup.sh installs it.")
  endif()
  file(REMOVE ${_tarball})
  message(STATUS "Fetching ${QUORVANE_GUMBO_NPM_PACKAGE} from the npm registry (gumbo ${QUORVANE_GUMBO_VERSION})")
  execute_process(COMMAND ${NPM} pack ${QUORVANE_GUMBO_NPM_PACKAGE} --pack-destination ${DEST} --silent
                  --no-audit --no-fund --loglevel=error
                  WORKING_DIRECTORY ${DEST} RESULT_VARIABLE _result OUTPUT_QUIET)
  if(NOT _result EQUAL 0 OR NOT EXISTS ${_tarball})
    message(FATAL_ERROR "npm pack ${QUORVANE_GUMBO_NPM_PACKAGE} failed (${_result}); is the npm registry reachable?")
  endif()
  file(SHA256 ${_tarball} _sum)
  if(NOT _sum STREQUAL QUORVANE_GUMBO_TARBALL_SHA256)
    file(RENAME ${_tarball} ${_tarball}.rejected)
    message(FATAL_ERROR "${QUORVANE_GUMBO_TARBALL}: SHA-256 ${_sum}, expected ${QUORVANE_GUMBO_TARBALL_SHA256} "
                        "(cmake/gumbo/version.cmake); kept as ${_tarball}.rejected")
  endif()
endif()

# Unpacked and patched in a fresh folder, then moved into place: an interrupted run leaves no half-patched sources.
set(_work ${DEST}/unpack)
file(REMOVE_RECURSE ${_work} ${DEST}/src ${DEST}/COPYING ${DEST}/stamp)
file(ARCHIVE_EXTRACT INPUT ${_tarball} DESTINATION ${_work} PATTERNS package/deps/gumbo-parser/src
     package/deps/gumbo-parser/COPYING)
set(_gumbo ${_work}/package/deps/gumbo-parser)
find_program(PATCH patch)
if(_patches AND NOT PATCH)
  message(FATAL_ERROR "The program patch is needed to apply cmake/gumbo/*.patch; tools/setup.sh installs it.")
endif()
foreach(_patch IN LISTS _patches)
  execute_process(COMMAND ${PATCH} -p1 --batch --forward --quiet -i ${_patch}
                  WORKING_DIRECTORY ${_gumbo} RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "${_patch} does not apply to gumbo ${QUORVANE_GUMBO_VERSION}")
  endif()
endforeach()
file(RENAME ${_gumbo}/src ${DEST}/src)
file(RENAME ${_gumbo}/COPYING ${DEST}/COPYING)
file(REMOVE_RECURSE ${_work})
file(WRITE ${DEST}/stamp "${_stamp}")
