# The version texts of the program's resources, all from the one project version in CMakeLists.txt.
#
# The manifest wants four numbers; the parts that project() leaves out count as 0.
set(QUORVANE_MANIFEST_VERSION ${PROJECT_VERSION_MAJOR})
foreach(part MINOR PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    string(APPEND QUORVANE_MANIFEST_VERSION ".0")
  else()
    string(APPEND QUORVANE_MANIFEST_VERSION ".${PROJECT_VERSION_${part}}")
  endif()
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${CMAKE_BINARY_DIR}/quorvane-version.h @ONLY)
