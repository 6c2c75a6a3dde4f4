# Release bundles (cpack in a build tree): the two programs in bin/ and the
# footsteps in Media/, laid out as in the build tree, so that after
# unpacking `cd bin` and starting a program is all it takes.
#   Windows: quorvel-ferrowin-windows-x64.zip, with OpenAL32.dll beside the programs;
#            the same programs again in system-openal/, without a DLL, so that
#            Windows loads the OpenAL installed on the system for them
#   Linux:   quorvel-ferrowin-linux-<arch>.tar.gz, using the system's OpenAL

install(TARGETS quorvel ferrowin RUNTIME DESTINATION bin)
install(FILES ${CMAKE_BINARY_DIR}/Media/Footsteps.wav DESTINATION Media)
if(WIN32)
  install(FILES ${OPENAL_SOFT_DLL} DESTINATION bin)
  install(TARGETS quorvel ferrowin RUNTIME DESTINATION system-openal)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quorvel-ferrowin-windows-x64)
else()
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-linux.txt DESTINATION . RENAME README.txt)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME quorvel-ferrowin-linux-${CMAKE_SYSTEM_PROCESSOR})
endif()

set(CPACK_PACKAGE_NAME quorvel-ferrowin)
set(CPACK_PACKAGE_VENDOR quorvel-ferrowin)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "quorvel and ferrowin: OpenAL device checks for the console")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# The bundle unpacked into a fresh folder and both programs run from it
# (under wine for Windows): tools/check_bundle.sh. A sanitizer build makes
# no release bundle.
if(BUILD_TESTING AND NOT ENABLE_SANITIZERS)
  if(WIN32)
    set(bundle_platform windows)
  else()
    set(bundle_platform linux)
  endif()
  add_test(NAME release_bundle COMMAND ${CMAKE_SOURCE_DIR}/tools/check_bundle.sh ${bundle_platform} ${CMAKE_BINARY_DIR})
  set_tests_properties(release_bundle PROPERTIES LABELS bundle TIMEOUT 300)
  if(WIN32)
    # A wine prefix of the user's, named by WINEPREFIX, is neither used nor
    # changed by the check: its files' checksums before and after.
    set(users_prefix ${CMAKE_BINARY_DIR}/users-wineprefix)
    add_test(NAME release_bundle_users_prefix_before COMMAND sh -c [=[
      rm -rf "$0" && mkdir -p "$0/drive_c" && echo mine > "$0/drive_c/notes.txt" &&
      echo 'WINE REGISTRY' > "$0/system.reg" && find "$0" -type f -exec sha256sum {} + | sort > "$0.sha256"
      ]=] ${users_prefix})
    add_test(NAME release_bundle_users_prefix_after COMMAND sh -c [=[
      find "$0" -type f -exec sha256sum {} + | sort | diff "$0.sha256" -
      ]=] ${users_prefix})
    set_tests_properties(release_bundle_users_prefix_before PROPERTIES FIXTURES_SETUP users_prefix LABELS bundle)
    set_tests_properties(release_bundle_users_prefix_after PROPERTIES FIXTURES_CLEANUP users_prefix LABELS bundle)
    set_tests_properties(release_bundle PROPERTIES FIXTURES_REQUIRED users_prefix ENVIRONMENT WINEPREFIX=${users_prefix})
  endif()
endif()
