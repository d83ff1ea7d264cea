# The Linux release of quorvane-code (host build with QUORVANE_LINUX_RELEASE): QUORVANE_DIST_DIR/quorvane-code-VERSION-linux-ARCH.tar.gz,
# one folder with the static program, its man page, the README's part about it, the licences and SHA256SUMS, the same bytes from every build of the same sources.
find_program(PYTHON3 NAMES python3 REQUIRED)
set(QUORVANE_DIST_DIR ${CMAKE_BINARY_DIR}/dist CACHE PATH "Folder that receives the release archive")
string(TOLOWER ${CMAKE_SYSTEM_PROCESSOR} _arch)
set(QUORVANE_DIST_FOLDER quorvane-code-${PROJECT_VERSION}-linux-${_arch})
set(QUORVANE_DIST_ARCHIVE ${QUORVANE_DIST_DIR}/${QUORVANE_DIST_FOLDER}.tar.gz)

# README.md's parts from "Scripting the generator" up to "Release" are about
# quorvane-code; they go into the archive under a title of their own. The
# file is rewritten only when its text changes, so the archive is not packed
# again for nothing.
file(READ README.md _readme)
string(FIND "${_readme}" "\n## Scripting the generator\n" _from)
string(FIND "${_readme}" "\n## Release\n" _to)
if(_from EQUAL -1 OR _to LESS _from)
  message(FATAL_ERROR "README.md: no part from \"## Scripting the generator\" to \"## Release\" for the release archive")
endif()
math(EXPR _length "${_to} - ${_from}")
string(SUBSTRING "${_readme}" ${_from} ${_length} _part)
file(WRITE ${CMAKE_BINARY_DIR}/README-quorvane-code.md.new
     "# quorvane-code ${PROJECT_VERSION}\n\nThe part of Quorvane's README about quorvane-code; `man ./quorvane-code.1` "
     "lists every option.\n${_part}")
configure_file(${CMAKE_BINARY_DIR}/README-quorvane-code.md.new ${CMAKE_BINARY_DIR}/README-quorvane-code.md COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS README.md)

# PATH-IN-FOLDER=FILE for what the build makes and the tests test; SHA256SUMS joins them.
set(QUORVANE_DIST_BUILT
  quorvane-code=$<TARGET_FILE:quorvane-code>
  quorvane-code.1=${CMAKE_BINARY_DIR}/cli/quorvane-code.1
  README.md=${CMAKE_BINARY_DIR}/README-quorvane-code.md
  LICENSE=${CMAKE_SOURCE_DIR}/LICENSE
  Licenses/gumbo.txt=${QUORVANE_GUMBO_LICENSE})
add_custom_command(
  OUTPUT ${QUORVANE_DIST_ARCHIVE}
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tools/make-dist.py --folder ${QUORVANE_DIST_FOLDER}
          --epoch ${QUORVANE_SOURCE_DATE_EPOCH} --executable quorvane-code --out ${QUORVANE_DIST_ARCHIVE} ${QUORVANE_DIST_BUILT}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make-dist.py quorvane-code $<TARGET_FILE:quorvane-code> ${CMAKE_BINARY_DIR}/cli/quorvane-code.1
          ${CMAKE_BINARY_DIR}/README-quorvane-code.md ${CMAKE_SOURCE_DIR}/LICENSE ${QUORVANE_GUMBO_LICENSE}
  COMMENT "Packing the release ${QUORVANE_DIST_FOLDER}.tar.gz"
  VERBATIM)
add_custom_target(dist ALL DEPENDS ${QUORVANE_DIST_ARCHIVE})

# The program is run, its man page linted and read against its --help.
set(QUORVANE_DIST_PRESET host)
set(QUORVANE_DIST_CHECKS --licence "Licenses/gumbo.txt=Apache License" --licence "LICENSE=MIT License"
    --program quorvane-code --man quorvane-code.1)
include(tests/dist/dist.cmake OPTIONAL)
