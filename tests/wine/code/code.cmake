# The Windows command-line generator under Wine, byte for byte against the host's (built in this folder by
# helpfile/ship.cmake), and against Crypt under the double-byte locales.
add_test(NAME wine.code
  COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/compare_code.py --bench ${QUORVANE_BENCH} --state ${QUORVANE_WINE_STATE}
          --host ${QUORVANE_HOST_CODE_TOOL} --exe $<TARGET_FILE:quorvane-code> --driver $<TARGET_FILE:program_driver>)
set_tests_properties(wine.code PROPERTIES FIXTURES_REQUIRED wine_bench RESOURCE_LOCK wine_display TIMEOUT 400)
# The site commands: --protect and --check on a small site in a folder with a non-ASCII name.
add_test(NAME wine.code.site
  COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/compare_code.py --site --bench ${QUORVANE_BENCH} --state ${QUORVANE_WINE_STATE}
          --host ${QUORVANE_HOST_CODE_TOOL} --exe $<TARGET_FILE:quorvane-code>)
set_tests_properties(wine.code.site PROPERTIES FIXTURES_REQUIRED wine_bench RESOURCE_LOCK wine_display TIMEOUT 200)
