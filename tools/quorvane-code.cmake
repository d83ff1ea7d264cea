# Windows builds: the command-line generator as a console program, shipped beside quorvane.exe for authors who script their pages.
add_executable(quorvane-code tools/quorvane-code.cpp tools/SiteCommand.cpp tools/SiteFilesWindows.cpp)
target_compile_options(quorvane-code PRIVATE ${QUORVANE_WIN_COMPILE_OPTIONS})
target_link_options(quorvane-code PRIVATE ${QUORVANE_WIN_LINK_OPTIONS})
# shell32 for CommandLineToArgvW: the paths come from the wide command line.
target_link_libraries(quorvane-code PRIVATE quorvane_generator quorvane_site shell32)
