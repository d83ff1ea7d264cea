# QUORVANE_SOURCE_DATE_EPOCH: the time the release archives' entries (and the man page) carry, in seconds since 1970.
#
# The time of the last commit, or SOURCE_DATE_EPOCH when the environment sets
# it (a source tree without git history has to), read anew on every configure.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(QUORVANE_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE QUORVANE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _git_result ERROR_QUIET)
  if(NOT _git_result EQUAL 0 OR NOT QUORVANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(WARNING "No git history and no SOURCE_DATE_EPOCH: the release archives are dated 1970-01-01 (the zip, which can hold no earlier time, 1980-01-01).")
    set(QUORVANE_SOURCE_DATE_EPOCH 0)
  endif()
endif()
