# The shipped 32-bit exe run for real: the Wine case groups in an emulated 32-bit PC (image.sh, run.sh).
#
# guest.image builds the guest's disk image once per recipe (or finds it in
# the cache); guest.run boots it and runs every group that
# quorvane_wine_group() listed, with this build's drivers and quorvane.exe,
# and this build's quorvane-code.exe against the host tool's output.
get_property(_groups GLOBAL PROPERTY QUORVANE_GUEST_GROUPS)
list(JOIN _groups "\n" _groups_text)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/guest-groups.txt CONTENT "${_groups_text}\n")

add_test(NAME guest.image COMMAND ${CMAKE_CURRENT_LIST_DIR}/image.sh build ${CMAKE_SOURCE_DIR})
set_tests_properties(guest.image PROPERTIES FIXTURES_SETUP guest_image TIMEOUT 3600)
add_test(NAME guest.run
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/run.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${QUORVANE_HOST_CODE_TOOL}
          $<TARGET_FILE:quorvane-code>)
set_tests_properties(guest.run PROPERTIES FIXTURES_REQUIRED guest_image TIMEOUT 3600)
