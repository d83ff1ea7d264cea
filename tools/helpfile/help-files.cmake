# The help files that ship beside the program, Help/quorvane.hlp and Help/quorvane.html, written from the topic source.
#
# quorvane_help_files(WRITER [DEPENDS...]): WRITER is the writer's target or
# path; the further arguments are what the writing has to wait for.
function(quorvane_help_files writer)
  set(source ${CMAKE_SOURCE_DIR}/resources/quorvane-help.txt)
  set(help ${CMAKE_BINARY_DIR}/Help)
  add_custom_command(
    OUTPUT ${help}/quorvane.hlp ${help}/quorvane.html
    COMMAND ${CMAKE_COMMAND} -E make_directory ${help}
    COMMAND ${writer} ${source} ${help}/quorvane.hlp ${help}/quorvane.html
    DEPENDS ${ARGN} ${source}
    COMMENT "Writing the help files Help/quorvane.hlp and Help/quorvane.html"
    VERBATIM)
  add_custom_target(quorvane_help ALL DEPENDS ${help}/quorvane.hlp ${help}/quorvane.html)
endfunction()
