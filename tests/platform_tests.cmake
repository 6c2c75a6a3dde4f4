# How every test area registers its tests. The Windows rows (names holding
# "windows", or "_exe_" for a program name; they exist with WINDOWS_BIN_DIR,
# see wine/) are labelled "wine" and need the test run's wineserver.
# A further argument, "timing", labels every Linux row of the target: rows
# that keep time or level through a real sound server or a pseudo-terminal,
# which the load check runs again and again on a busy machine. The Windows
# rows keep the one label "wine": the properties given here reach each row
# as words, so a list of labels would take the fixture's place.
function(discover_platform_tests target)
  if(WINDOWS_BIN_DIR)
    gtest_discover_tests(${target} TEST_FILTER "*windows*:*_exe_*"
      PROPERTIES TIMEOUT 120 LABELS wine FIXTURES_REQUIRED wine)
    gtest_discover_tests(${target} TEST_FILTER "-*windows*:*_exe_*" PROPERTIES TIMEOUT 120 LABELS "${ARGN}")
  else()
    gtest_discover_tests(${target} PROPERTIES TIMEOUT 120 LABELS "${ARGN}")
  endif()
endfunction()
