# The release of the 32-bit build: QUORVANE_DIST_DIR/quorvane-VERSION-win32.zip, one folder with the program, its help,
# the command-line generator, the licence of the parser built into it, README.txt and SHA256SUMS, the same bytes from every build of the same sources.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  return()  # the 64-bit twin is a test vehicle, not released
endif()

set(QUORVANE_DIST_DIR ${CMAKE_BINARY_DIR}/dist CACHE PATH "Folder that receives the release zip")
set(QUORVANE_DIST_FOLDER quorvane-${PROJECT_VERSION})
set(QUORVANE_DIST_ARCHIVE ${QUORVANE_DIST_DIR}/${QUORVANE_DIST_FOLDER}-win32.zip)
configure_file(resources/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

# The zip's entries carry the time of the last commit (or SOURCE_DATE_EPOCH); the exes carry no time at all.
include(cmake/source-date.cmake)

# PATH-IN-FOLDER=FILE for what the build makes and the tests test; README.txt
# and SHA256SUMS join them in the zip.
set(QUORVANE_DIST_BUILT
  quorvane.exe=$<TARGET_FILE:quorvane>
  quorvane-code.exe=$<TARGET_FILE:quorvane-code>
  Help/quorvane.hlp=${CMAKE_BINARY_DIR}/Help/quorvane.hlp
  Help/quorvane.html=${CMAKE_BINARY_DIR}/Help/quorvane.html
  Licenses/gumbo.txt=${QUORVANE_GUMBO_LICENSE})
add_custom_command(
  OUTPUT ${QUORVANE_DIST_ARCHIVE}
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tools/make-dist.py --folder ${QUORVANE_DIST_FOLDER}
          --epoch ${QUORVANE_SOURCE_DATE_EPOCH} --out ${QUORVANE_DIST_ARCHIVE}
          ${QUORVANE_DIST_BUILT} README.txt=${CMAKE_BINARY_DIR}/README.txt
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make-dist.py quorvane quorvane-code quorvane_help
          $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-code> ${CMAKE_BINARY_DIR}/Help/quorvane.hlp
          ${CMAKE_BINARY_DIR}/Help/quorvane.html ${CMAKE_BINARY_DIR}/README.txt ${QUORVANE_GUMBO_LICENSE}
  COMMENT "Packing the release ${QUORVANE_DIST_FOLDER}-win32.zip"
  VERBATIM)
add_custom_target(dist ALL DEPENDS ${QUORVANE_DIST_ARCHIVE})

# README.txt is checked for its form as well.
set(QUORVANE_DIST_PRESET win32)
set(QUORVANE_DIST_CHECKS --licence "Licenses/gumbo.txt=Apache License" README.txt=${CMAKE_BINARY_DIR}/README.txt)
include(tests/dist/dist.cmake OPTIONAL)
