# Host tests of the help file: the built Help/quorvane.hlp read back independently, and the writer on made-up sources.
find_program(PYTHON3 NAMES python3 REQUIRED)

set(QUORVANE_HELP_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
foreach(group Header Directory System Font TopicBlocks Topics Context ContextMap)
  string(TOLOWER ${group} name)
  add_test(NAME help.file.${name}
           COMMAND ${PYTHON3} ${QUORVANE_HELP_TEST_DIR}/test_help_file.py
                   --hlp ${CMAKE_BINARY_DIR}/Help/quorvane.hlp
                   --source ${CMAKE_SOURCE_DIR}/resources/quorvane-help.txt ${group})
endforeach()
foreach(group Rejects RoundTrip)
  string(TOLOWER ${group} name)
  add_test(NAME help.writer.${name}
           COMMAND ${PYTHON3} ${QUORVANE_HELP_TEST_DIR}/test_writer.py --writer $<TARGET_FILE:quorvane-helpfile> ${group})
endforeach()
