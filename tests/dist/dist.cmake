# Checks of a release archive (the 32-bit build's zip, the host build's tar.gz): its contents against the tested files, and two more builds of it from scratch.
add_test(NAME dist.contents
  COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/check_dist.py ${QUORVANE_DIST_ARCHIVE} --folder ${QUORVANE_DIST_FOLDER}
          --version ${PROJECT_VERSION} ${QUORVANE_DIST_CHECKS} ${QUORVANE_DIST_BUILT})
add_test(NAME dist.reproducible
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/reproducible.sh ${QUORVANE_DIST_PRESET} ${CMAKE_SOURCE_DIR} ${QUORVANE_DIST_ARCHIVE})
set_tests_properties(dist.reproducible PROPERTIES TIMEOUT 900)
