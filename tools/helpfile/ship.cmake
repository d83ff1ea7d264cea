# Windows builds: builds the help file writer for the build machine and ships Help/quorvane.hlp next to the program.
#
# The writer has to run during the build, so the cross compiler cannot make
# it. It is configured and compiled as a separate small project with the
# build machine's own C++ compiler, inside this build folder; no other build
# needs to exist first.
include(ExternalProject)

find_program(QUORVANE_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH
             DOC "C++ compiler of the build machine, for the help file writer")
if(NOT QUORVANE_HOST_CXX)
  message(FATAL_ERROR
    "No C++ compiler for the build machine found (looked for c++, g++, clang++). "
    "The Windows build compiles the help file writer tools/helpfile with it, because a "
    "cross-compiled writer cannot run here. Install g++ (tools/setup.sh does), or pass "
    "-DQUORVANE_HOST_CXX=/path/to/compiler.")
endif()

set(QUORVANE_HELPFILE_HOST_DIR ${CMAKE_BINARY_DIR}/helpfile-host)
set(QUORVANE_HELPFILE_TOOL ${QUORVANE_HELPFILE_HOST_DIR}/build/quorvane-helpfile)
ExternalProject_Add(quorvane_helpfile_host
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  PREFIX ${QUORVANE_HELPFILE_HOST_DIR}
  BINARY_DIR ${QUORVANE_HELPFILE_HOST_DIR}/build
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${QUORVANE_HOST_CXX} -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${QUORVANE_HELPFILE_TOOL})

set(QUORVANE_HELP_SOURCE ${CMAKE_SOURCE_DIR}/resources/quorvane-help.txt)
set(QUORVANE_HELP_FILE ${CMAKE_BINARY_DIR}/Help/quorvane.hlp)
add_custom_command(
  OUTPUT ${QUORVANE_HELP_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/Help
  COMMAND ${QUORVANE_HELPFILE_TOOL} ${QUORVANE_HELP_SOURCE} ${QUORVANE_HELP_FILE}
  DEPENDS quorvane_helpfile_host ${QUORVANE_HELPFILE_TOOL} ${QUORVANE_HELP_SOURCE}
  COMMENT "Writing the help file Help/quorvane.hlp"
  VERBATIM)
add_custom_target(quorvane_help ALL DEPENDS ${QUORVANE_HELP_FILE})
