# Host tests of the PE checksum routine: unit tests, and agreement with pefile on real and damaged PE files.
set(QUORVANE_PE_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with the pefile module for the checksum comparison")
set(QUORVANE_WINDOWS_BUILD_ROOT ${CMAKE_SOURCE_DIR}/build CACHE PATH
    "Folder holding the win32 and win64 builds whose quorvane.exe the checksum comparison reads")
set(QUORVANE_WINE_DLL_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
    "Wine's 64-bit PE DLLs, real-world input for the checksum comparison")

# The routine has no platform header, so the Windows source compiles here unchanged.
add_library(image_checksum_host OBJECT ${CMAKE_SOURCE_DIR}/app/ImageChecksum.cpp)
target_include_directories(image_checksum_host PUBLIC ${CMAKE_SOURCE_DIR}/app)

add_executable(image_checksum_tests checksum/ImageChecksumTest.cpp)
target_link_libraries(image_checksum_tests PRIVATE image_checksum_host GTest::gtest GTest::gtest_main)
gtest_discover_tests(image_checksum_tests TEST_PREFIX "checksum.")

add_executable(pe-checksum checksum/pe-checksum.cpp)
target_link_libraries(pe-checksum PRIVATE image_checksum_host)

set(_checksum_compare ${QUORVANE_PE_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/compare_with_pefile.py
    --tool $<TARGET_FILE:pe-checksum>)
foreach(_preset win32 win64)
  add_test(NAME checksum.pefile.${_preset}
           COMMAND ${_checksum_compare} --work ${CMAKE_CURRENT_BINARY_DIR}/checksum-copies
                   ${QUORVANE_WINDOWS_BUILD_ROOT}/${_preset}/quorvane.exe)
endforeach()
# A handful of Wine's own DLLs and programs, of different sizes.
set(_wine_files)
foreach(_name kernel32.dll gdi32.dll version.dll psapi.dll winver.exe)
  list(APPEND _wine_files ${QUORVANE_WINE_DLL_DIR}/${_name})
endforeach()
add_test(NAME checksum.pefile.wine
         COMMAND ${_checksum_compare} --work ${CMAKE_CURRENT_BINARY_DIR}/checksum-copies ${_wine_files})
set_tests_properties(checksum.pefile.win32 checksum.pefile.win64 checksum.pefile.wine
                     PROPERTIES SKIP_RETURN_CODE 77)
