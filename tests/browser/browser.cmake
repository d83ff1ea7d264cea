# Browser checks in Debian's chromium, driven by node and playwright-core: the generated code in real pages, and the HTML help.
# playwright-core lives in tests/browser/node_modules, put there by tools/setup.sh (npm ci); the test
# itself stops with that hint when it is missing, so running setup after configuring is enough.
find_program(QUORVANE_NODE node)
if(NOT QUORVANE_NODE)
  # Looked up again on PATH when the test runs.
  set(QUORVANE_NODE node)
endif()
if(NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/node_modules/playwright-core/package.json)
  message(STATUS "browser test: playwright-core is not installed yet; run tools/setup.sh before ctest")
endif()

add_test(NAME browser.mailcode
  COMMAND ${QUORVANE_NODE} --test --test-reporter=tap ${CMAKE_CURRENT_LIST_DIR}/mailcode.test.mjs
  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
set_tests_properties(browser.mailcode PROPERTIES
  ENVIRONMENT "QUORVANE_CODE=$<TARGET_FILE:quorvane-code>;QUORVANE_ARTIFACTS=${CMAKE_BINARY_DIR}"
  TIMEOUT 240)

# The HTML help page against its topic source, read by the help tests' own
# source reader; leaves a screenshot of the page in the build folder.
find_program(PYTHON3 NAMES python3 REQUIRED)
add_test(NAME browser.helppage
  COMMAND ${QUORVANE_NODE} --test --test-reporter=tap ${CMAKE_CURRENT_LIST_DIR}/helppage.test.mjs
  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
set_tests_properties(browser.helppage PROPERTIES
  ENVIRONMENT "QUORVANE_HELP_PAGE=${CMAKE_BINARY_DIR}/Help/quorvane.html;QUORVANE_HELP_SOURCE=${CMAKE_SOURCE_DIR}/resources/quorvane-help.txt;QUORVANE_PYTHON=${PYTHON3};QUORVANE_ARTIFACTS=${CMAKE_BINARY_DIR}"
  TIMEOUT 120)

# quorvane-code --protect over a few pages: the same links and text before and after, with JavaScript on and off.
add_test(NAME browser.site
  COMMAND ${QUORVANE_NODE} --test --test-reporter=tap ${CMAKE_CURRENT_LIST_DIR}/site.test.mjs
  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
set_tests_properties(browser.site PROPERTIES ENVIRONMENT "QUORVANE_CODE=$<TARGET_FILE:quorvane-code>" TIMEOUT 240)

# Sites whose scripts, style sheets and navigation libraries (Turbo, htmx, MkDocs Material's instant
# navigation, built by Debian's mkdocs) act on the mail links, served over HTTP with the headers a server
# sends, protected in each form and reached by a click; leaves its table in browser-navigation.txt.
# A form the tool breaks a page in waits out a 20 s hang guard for each such page.
add_test(NAME browser.navigation
  COMMAND ${QUORVANE_NODE} --test --test-reporter=tap ${CMAKE_CURRENT_LIST_DIR}/navigation.test.mjs
  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
set_tests_properties(browser.navigation PROPERTIES
  ENVIRONMENT "QUORVANE_CODE=$<TARGET_FILE:quorvane-code>;QUORVANE_ARTIFACTS=${CMAKE_BINARY_DIR}"
  TIMEOUT 900)
