# Release bundles (cpack in a build tree): the two programs in bin/ and the
# footsteps in Media/, laid out as in the build tree, so that after
# unpacking `cd bin` and starting a program is all it takes.
#   Windows: quorvel-ferrowin-windows-x64.zip, with OpenAL32.dll beside the programs;
#            the same programs again in system-openal/, without a DLL, so that
#            Windows loads the OpenAL installed on the system for them
#   Linux:   quorvel-ferrowin-linux-<arch>.tar.gz, using the system's OpenAL
# The tests (tests/packaging) pack them and read their names from CPack.

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
