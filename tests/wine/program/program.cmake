# Cases of the whole program under Wine, the in-process window checks, and the `make run` demo.
set(QUORVANE_PROGRAM_TESTS ${CMAKE_CURRENT_LIST_DIR})

# One driver for the program's cases; it links the window code itself for
# the in-process group, which reads what Wine keeps per process (fonts, help ids).
add_executable(program_driver
  ${QUORVANE_WINE_DIR}/DriverMain.cpp
  ${QUORVANE_PROGRAM_TESTS}/Quorvane.cpp
  ${QUORVANE_PROGRAM_TESTS}/StartCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/CommandCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/HelpCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/ViewerCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/ExitCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/SoakCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/InProcessCases.cpp
  ${QUORVANE_PROGRAM_TESTS}/Demo.cpp
  ${QUORVANE_PROGRAM_TESTS}/Bitmap.cpp
  app/SelfTest.cpp
  app/ImageChecksum.cpp
  ui/MainWindow.cpp
  ui/Commands.cpp
  ui/About.cpp
  resources/quorvane.rc)
target_include_directories(program_driver PRIVATE app ui resources)
target_compile_options(program_driver PRIVATE -Wall -Wextra)
target_link_options(program_driver PRIVATE -static)
target_link_libraries(program_driver PRIVATE quorvane_wine_bench quorvane_generator quorvane_helpers comctl32 psapi)
add_dependencies(program_driver quorvane)

foreach(group start inprocess crypt paste commands help exit integrity)
  quorvane_wine_group(${group} DRIVER program_driver)
endforeach()
# 2,000 cycles would take hours in the emulated PC: the soak runs on the 64-bit twin only.
quorvane_wine_group(soak SECONDS 600 DRIVER program_driver HOST_ONLY)

# Wine's help viewer with the built help file; the group leaves a screenshot
# of the general topic as a BMP, which the 64-bit build keeps as a PNG.
quorvane_wine_group(viewer DRIVER program_driver)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine.viewer.screenshot
    COMMAND convert ${CMAKE_BINARY_DIR}/help-topic-20.bmp ${CMAKE_BINARY_DIR}/help-topic-20.png)
  set_tests_properties(wine.viewer.screenshot PROPERTIES DEPENDS wine.viewer FIXTURES_REQUIRED wine_bench TIMEOUT 60)
endif()
