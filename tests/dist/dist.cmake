# Checks of the release zip (32-bit build): its contents against the tested files, and two more builds of it from scratch.
add_test(NAME dist.contents
  COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/check_dist.py ${QUORVANE_DIST_ZIP} --folder ${QUORVANE_DIST_FOLDER}
          --version ${PROJECT_VERSION} --licence "Licenses/gumbo.txt=Apache License" ${QUORVANE_DIST_BUILT})
add_test(NAME dist.reproducible
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/reproducible.sh ${CMAKE_SOURCE_DIR} ${QUORVANE_DIST_ZIP})
set_tests_properties(dist.reproducible PROPERTIES TIMEOUT 900)
