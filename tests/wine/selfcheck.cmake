# Runs the driver's "selfcheck" group and checks its report and exit code (cmake -P, from wine.cmake).
execute_process(COMMAND ${BENCH} run ${STATE} 60 ${DRIVER} selfcheck
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
message("The selfcheck group fails on purpose; its report:\n${output}${errors}")
if(NOT result EQUAL 1)
  message(FATAL_ERROR "the driver exited with ${result}, expected 1 for failed cases")
endif()
foreach(expected
    "\\[  OK  \\] selfcheck\\.passes"
    "FAILED SelfCheckCases\\.cpp:[0-9]+: \\[row 7\\] 1 \\+ 2: expected 2, got 3"
    "FAILED SelfCheckCases\\.cpp:[0-9]+: \\[row 7\\] std::string\\(\"a\\\\nb\"\\): expected \"a\\\\r\\\\nb\", got \"a\\\\nb\""
    "\\(RECT\\{1, 2, 3, 5\\}\\): expected \\{1,2 2x2\\}, got \\{1,2 2x3\\}"
    "\\[ SKIP \\] selfcheck\\.skip_gives_its_reason: a reason worth printing"
    "\\[  OK  \\] selfcheck\\.nothing_ran_after_stop_or_skip"
    "failed: selfcheck\\.expect_goes_on_after_a_failure\nfailed: selfcheck\\.check_ends_the_case\n"
    "\n2 passed, 2 failed, 1 skipped\r?\n")
  if(NOT output MATCHES "${expected}")
    message(FATAL_ERROR "missing in the report: ${expected}")
  endif()
endforeach()
foreach(unexpected "after a failed CHECK" "after SKIP")
  if(output MATCHES "${unexpected}")
    message(FATAL_ERROR "the report shows a line that should not have run: ${unexpected}")
  endif()
endforeach()
