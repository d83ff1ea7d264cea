# Behaviour tests under Wine: the test driver, its helper programs and the ctest wiring.
#
# The 64-bit build runs them under this machine's Wine: ctest runs
# `wine.setup` first (a private Xvfb and a Wine prefix in
# ${CMAKE_BINARY_DIR}/wine), then one test per case group, one at a time, and
# `wine.cleanup` last. The 32-bit build runs the same drivers against the
# shipped exe in an emulated 32-bit PC (tests/guest). A new group: add its
# case file to QUORVANE_WINE_CASES (or target_sources(wine_driver ...)) and
# call quorvane_wine_group(NAME).
set(QUORVANE_WINE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QUORVANE_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(QUORVANE_BENCH ${QUORVANE_WINE_DIR}/bench.sh)

# The driving library: case framework and Win32 driving functions.
add_library(quorvane_wine_bench STATIC ${QUORVANE_WINE_DIR}/Bench.cpp ${QUORVANE_WINE_DIR}/Drive.cpp)
target_include_directories(quorvane_wine_bench PUBLIC ${QUORVANE_WINE_DIR})
target_compile_options(quorvane_wine_bench PRIVATE -Wall -Wextra)
target_link_libraries(quorvane_wine_bench PUBLIC gdi32 user32)

# The driver: a console program that runs one group of cases.
set(QUORVANE_WINE_CASES
  ${QUORVANE_WINE_DIR}/HelpersCases.cpp
  ${QUORVANE_WINE_DIR}/AboutCases.cpp
  ${QUORVANE_WINE_DIR}/DriveCases.cpp
  ${QUORVANE_WINE_DIR}/SelfCheckCases.cpp)
add_executable(wine_driver ${QUORVANE_WINE_DIR}/DriverMain.cpp ${QUORVANE_WINE_CASES})
target_include_directories(wine_driver PRIVATE app ui resources)
target_compile_options(wine_driver PRIVATE -Wall -Wextra)
# Static runtimes: under Wine no mingw DLL is on the search path.
target_link_options(wine_driver PRIVATE -static)
target_link_libraries(wine_driver PRIVATE quorvane_wine_bench quorvane_helpers)

# A stand-in for the main window that opens the real About box: the program's
# About code and resources, built like the program, in a host of its own.
add_executable(about_host WIN32 ${QUORVANE_WINE_DIR}/AboutHost.cpp app/MessageLoop.cpp ui/About.cpp
  resources/quorvane.rc)
target_include_directories(about_host PRIVATE app ui resources)
target_compile_options(about_host PRIVATE ${QUORVANE_WIN_COMPILE_OPTIONS})
target_link_options(about_host PRIVATE -static)
target_link_libraries(about_host PRIVATE quorvane_helpers)

# The programs the driver starts live beside it.
add_dependencies(wine_driver about_host quorvane)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine.setup COMMAND ${QUORVANE_BENCH} setup ${QUORVANE_WINE_STATE})
  add_test(NAME wine.cleanup COMMAND ${QUORVANE_BENCH} cleanup ${QUORVANE_WINE_STATE})
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine_bench RESOURCE_LOCK wine_display TIMEOUT 400)
  set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine_bench RESOURCE_LOCK wine_display TIMEOUT 60)
endif()

# One test per group: `wine_driver GROUP --source DIR` under the bench, killed
# after `seconds` (default 120) so that a hanging program cannot stall the run.
# In the 32-bit build the group joins the list that the emulated PC runs,
# unless it is HOST_ONLY.
function(quorvane_wine_group group)
  cmake_parse_arguments(ARG "HOST_ONLY" "SECONDS;DRIVER" "" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 120)
  endif()
  if(NOT ARG_DRIVER)
    set(ARG_DRIVER wine_driver)
  endif()
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    if(NOT ARG_HOST_ONLY)
      set_property(GLOBAL APPEND PROPERTY QUORVANE_GUEST_GROUPS "${ARG_DRIVER} ${group} ${ARG_SECONDS}")
    endif()
    return()
  endif()
  add_test(NAME wine.${group}
    COMMAND ${QUORVANE_BENCH} run ${QUORVANE_WINE_STATE} ${ARG_SECONDS}
            $<TARGET_FILE:${ARG_DRIVER}> ${group} --source ${CMAKE_SOURCE_DIR})
  math(EXPR ctest_seconds "${ARG_SECONDS} + 30")
  set_tests_properties(wine.${group} PROPERTIES
    FIXTURES_REQUIRED wine_bench RESOURCE_LOCK wine_display TIMEOUT ${ctest_seconds})
endfunction()

quorvane_wine_group(drive)
quorvane_wine_group(helpers)
quorvane_wine_group(about)

# The framework itself: a group of deliberately failing and skipped cases
# must give the right summary, messages and exit code.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine.selfcheck
    COMMAND ${CMAKE_COMMAND} -DBENCH=${QUORVANE_BENCH} -DSTATE=${QUORVANE_WINE_STATE}
            -DDRIVER=$<TARGET_FILE:wine_driver> -P ${QUORVANE_WINE_DIR}/selfcheck.cmake)
  set_tests_properties(wine.selfcheck PROPERTIES
    FIXTURES_REQUIRED wine_bench RESOURCE_LOCK wine_display TIMEOUT 90)
endif()

# The whole program: its cases, the in-process window checks and the `make run` demo.
include(${QUORVANE_WINE_DIR}/program/program.cmake)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The command-line generator, against the host's.
  include(${QUORVANE_WINE_DIR}/code/code.cmake)
else()
  # The 32-bit build: the groups above, in the emulated PC.
  include(${CMAKE_SOURCE_DIR}/tests/guest/guest.cmake)
endif()
