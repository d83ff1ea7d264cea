# The Windows program (32-bit product or 64-bit twin) and its tests.
enable_language(RC)

# The resource script is Windows-1252 text; the manifest's processor
# architecture follows the target, the only difference between the twins.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUORVANE_MANIFEST_ARCH amd64)
else()
  set(QUORVANE_MANIFEST_ARCH x86)
endif()
include(cmake/version.cmake)
configure_file(resources/quorvane.manifest.in ${CMAKE_BINARY_DIR}/quorvane.manifest @ONLY NEWLINE_STYLE CRLF)
find_program(PYTHON3 NAMES python3 REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/quorvane.ico
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tools/make-icon.py ${CMAKE_SOURCE_DIR}/resources/icon.txt
          ${CMAKE_BINARY_DIR}/quorvane.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make-icon.py ${CMAKE_SOURCE_DIR}/resources/icon.txt
  COMMENT "Drawing the program icon")
set_source_files_properties(resources/quorvane.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/quorvane.ico;${CMAKE_BINARY_DIR}/quorvane.manifest;${CMAKE_BINARY_DIR}/quorvane-version.h")
# The generated icon, manifest and version texts are found through the include path.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --codepage=1252 -I ${CMAKE_BINARY_DIR}")

# Flags for every Windows target: no C++ exceptions or RTTI (the program
# uses neither, and their runtime support would triple the file size), and
# the C and C++ runtimes linked in so that no mingw DLL is needed.
# The same sources give the same bytes wherever they lie: no source or build
# path in an object file, and no link time in the header (which ld leaves
# at 0; it still stamps the checksum).
set(QUORVANE_REPRODUCIBLE_OPTIONS -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
set(QUORVANE_WIN_COMPILE_OPTIONS -Wall -Wextra -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections ${QUORVANE_REPRODUCIBLE_OPTIONS})
set(QUORVANE_WIN_LINK_OPTIONS -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
# The generator throws nothing and calls nothing that throws, so no exception
# unwinds through it: like the program's own code it needs no unwind tables.
target_compile_options(quorvane_generator PRIVATE -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
                       -ffunction-sections -fdata-sections ${QUORVANE_REPRODUCIBLE_OPTIONS})
# The site and file libraries and gumbo go into quorvane-code.exe only; gumbo's C has no
# exceptions to leave out, and its folder in the build tree is mapped away too.
target_compile_options(quorvane_site PRIVATE -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
                       ${QUORVANE_REPRODUCIBLE_OPTIONS})
target_compile_options(quorvane_references PRIVATE -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
                       ${QUORVANE_REPRODUCIBLE_OPTIONS})
target_compile_options(quorvane_files PRIVATE ${QUORVANE_WIN_COMPILE_OPTIONS})
target_compile_options(quorvane_gumbo PRIVATE -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
                       ${QUORVANE_REPRODUCIBLE_OPTIONS})

add_library(quorvane_helpers STATIC XWnd/XWnd.cpp XProcess/XProcess.cpp)
target_include_directories(quorvane_helpers PUBLIC XWnd XProcess)
target_compile_options(quorvane_helpers PRIVATE ${QUORVANE_WIN_COMPILE_OPTIONS})

add_executable(quorvane WIN32
  app/Main.cpp
  app/MessageLoop.cpp
  app/ImageChecksum.cpp
  app/SelfTest.cpp
  ui/MainWindow.cpp
  ui/Commands.cpp
  ui/About.cpp
  resources/quorvane.rc)
target_include_directories(quorvane PRIVATE app ui resources)
target_compile_options(quorvane PRIVATE ${QUORVANE_WIN_COMPILE_OPTIONS})
target_link_options(quorvane PRIVATE ${QUORVANE_WIN_LINK_OPTIONS})
target_link_libraries(quorvane PRIVATE quorvane_generator quorvane_helpers comctl32)

# The help files, next to the program where its relative path finds them,
# and the command-line generator.
include(tools/helpfile/ship.cmake)
add_subdirectory(cli)

# The release zip (32-bit build only).
include(cmake/dist.cmake)

# File checks of the built program, and its behaviour: under this machine's
# Wine (64-bit twin), and in an emulated 32-bit PC (the shipped exe).
include(tests/pe/pe.cmake OPTIONAL)
include(tests/wine/wine.cmake OPTIONAL)
