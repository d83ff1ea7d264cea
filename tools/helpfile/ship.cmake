# Windows builds: the host tools, built for the build machine, and the help files shipped next to the program.
#
# The help file writer has to run during the build, and the tests compare the
# Windows command-line generator with the host's, so the cross compiler
# cannot make them. tools/ is configured and compiled as a separate small
# project with the build machine's own C++ compiler, inside this build
# folder; no other build needs to exist first.
include(ExternalProject)

find_program(QUORVANE_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH
             DOC "C++ compiler of the build machine, for the host tools")
find_program(QUORVANE_HOST_CC NAMES cc gcc clang NO_CMAKE_FIND_ROOT_PATH
             DOC "C compiler of the build machine, for gumbo in the host tools")
if(NOT QUORVANE_HOST_CXX OR NOT QUORVANE_HOST_CC)
  message(FATAL_ERROR
    "No C or C++ compiler for the build machine found (looked for cc, gcc, clang and c++, g++, clang++). "
    "The Windows build compiles the help file writer and the command-line generator in tools/ "
    "with it, because cross-compiled tools cannot run here. Install g++ (tools/setup.sh does), or "
    "pass -DQUORVANE_HOST_CC=... -DQUORVANE_HOST_CXX=/path/to/compiler.")
endif()

set(QUORVANE_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(QUORVANE_HELPFILE_TOOL ${QUORVANE_HOST_TOOLS_DIR}/build/helpfile/quorvane-helpfile)
set(QUORVANE_HOST_CODE_TOOL ${QUORVANE_HOST_TOOLS_DIR}/build/cli/quorvane-code)
# The tools' build follows this build's generator; one that another
# generator left behind (this folder was configured afresh) would refuse to
# configure, so it starts over.
if(EXISTS ${QUORVANE_HOST_TOOLS_DIR}/build/CMakeCache.txt)
  file(STRINGS ${QUORVANE_HOST_TOOLS_DIR}/build/CMakeCache.txt _host_tools_generator REGEX "^CMAKE_GENERATOR:")
  if(NOT _host_tools_generator MATCHES "=${CMAKE_GENERATOR}$")
    file(REMOVE_RECURSE ${QUORVANE_HOST_TOOLS_DIR})
  endif()
endif()
# The tools are built again when one of their sources changes, and only
# then, so that an up-to-date build has nothing to do. A new source file
# comes with a change to a CMakeLists.txt in the list, and every configure
# reads the list again.
file(GLOB_RECURSE _host_tool_sources
     ${CMAKE_SOURCE_DIR}/tools/*.cpp ${CMAKE_SOURCE_DIR}/tools/*.h ${CMAKE_SOURCE_DIR}/tools/*CMakeLists.txt
     ${CMAKE_SOURCE_DIR}/tools/make-usage.py
     ${CMAKE_SOURCE_DIR}/generator/* ${CMAKE_SOURCE_DIR}/site/* ${CMAKE_SOURCE_DIR}/cli/* ${CMAKE_SOURCE_DIR}/cmake/gumbo/*)
ExternalProject_Add(quorvane_host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools
  PREFIX ${QUORVANE_HOST_TOOLS_DIR}
  BINARY_DIR ${QUORVANE_HOST_TOOLS_DIR}/build
  # gumbo's sources, fetched by this build's configure, serve the tools' build too.
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${QUORVANE_HOST_CXX} -DCMAKE_C_COMPILER=${QUORVANE_HOST_CC}
             -DCMAKE_BUILD_TYPE=Release -DQUORVANE_GUMBO_DIR=${QUORVANE_GUMBO_DIR}
             -DQUORVANE_VERSION=${PROJECT_VERSION}
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${QUORVANE_HELPFILE_TOOL} ${QUORVANE_HOST_CODE_TOOL})
ExternalProject_Add_StepDependencies(quorvane_host_tools build ${_host_tool_sources})

include(${CMAKE_CURRENT_LIST_DIR}/help-files.cmake)
quorvane_help_files(${QUORVANE_HELPFILE_TOOL} quorvane_host_tools ${QUORVANE_HELPFILE_TOOL})
