# quorvane-code against a hostile file system: FIFOs, a 1 TiB sparse page, odd names, a killed run's leftovers, changes and signals during a run.
add_test(NAME files.hostile COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/hostile.py $<TARGET_FILE:quorvane-code>)
set_tests_properties(files.hostile PROPERTIES TIMEOUT 300)
