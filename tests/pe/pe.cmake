# File checks of the built programs (imports, checksum, size, every resource), run with Debian's python3-pefile.
set(QUORVANE_PE_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with the pefile module for the file checks")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_pe_args --machine amd64)
  set(_pe_code_args --machine amd64)
else()
  # Only the shipped 32-bit programs have a size budget; the 64-bit twin is a test vehicle.
  # The console tool carries the HTML parser (for the script form), the page reader with the table of
  # character references both read by, and zlib (for precompressed files), hence a budget of its own.
  set(_pe_args --machine i386 --size-budget 65536)
  set(_pe_code_args --machine i386 --size-budget 720896)
endif()

foreach(_pe_group headers resources dialog version manifest)
  add_test(NAME pe.${_pe_group}
           COMMAND ${QUORVANE_PE_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_pe.py ${_pe_group}
                   $<TARGET_FILE:quorvane> ${_pe_args})
endforeach()
# The command-line generator: a console program with only system DLLs and a valid checksum.
add_test(NAME pe.code.headers
         COMMAND ${QUORVANE_PE_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_pe.py headers $<TARGET_FILE:quorvane-code>
                 ${_pe_code_args} --subsystem console)
