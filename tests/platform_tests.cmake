# How every test area registers the tests of its test programs. A program's
# Windows rows (their names hold "windows", or "_exe_" for a program name),
# which exist when the build is given a Windows build (WINDOWS_BIN_DIR, in
# wine/), are labelled "wine" and need the wineserver of the test run; the
# others are registered as usual.
function(discover_platform_tests target)
  if(WINDOWS_BIN_DIR)
    gtest_discover_tests(${target} TEST_FILTER "*windows*:*_exe_*"
      PROPERTIES TIMEOUT 120 LABELS wine FIXTURES_REQUIRED wine)
    gtest_discover_tests(${target} TEST_FILTER "-*windows*:*_exe_*" PROPERTIES TIMEOUT 120)
  else()
    gtest_discover_tests(${target} PROPERTIES TIMEOUT 120)
  endif()
endfunction()
