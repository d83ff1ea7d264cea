# quorvane-code against a hostile file system: FIFOs, a 1 TiB sparse page, odd names, a killed run's leftovers, changes and signals during a run; and the strong form's decoder file.
add_test(NAME files.hostile COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/hostile.py $<TARGET_FILE:quorvane-code>)
set_tests_properties(files.hostile PROPERTIES TIMEOUT 300)
# The strong form's decoder file: where it goes, how pages name it, a second run, a dry run, a user's own file of its name.
add_test(NAME files.strong COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/strong.py $<TARGET_FILE:quorvane-code>)
set_tests_properties(files.strong PROPERTIES TIMEOUT 300)
