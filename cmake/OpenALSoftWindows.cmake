# OpenAL Soft for the Windows build: OpenAL32.dll, its import library and
# the AL headers, cross-built from Debian's source package with this build's
# own toolchain, at configure time and only once per build tree.
#
#   <build>/openal-soft/download   the upstream tarball (tools/fetch_openal_source.sh)
#   <build>/openal-soft/src        its unpacked source
#   <build>/openal-soft/build      OpenAL Soft's own build tree
#   <build>/openal-soft/install    bin/OpenAL32.dll, lib/libOpenAL32.dll.a, include/AL,
#                                  bin/openal-info.exe
#
# Afterwards find_package(OpenAL) finds the installed copy, and the DLL is
# copied beside the programs into <build>/bin, with openal-info.exe (OpenAL
# Soft's own report of devices and EFX, an independent witness for tests).

# The one place that names the version: the fetch script takes it (and the
# tarball's checksum) from here, and a tree built for another version
# builds the DLL again.
set(OPENAL_SOFT_VERSION 1.24.2)
set(OPENAL_SOFT_SHA256 7efd383d70508587fbc146e4c508771a2235a5fc8ae05bf6fe721c20a348bd7c)
set(OPENAL_SOFT_ROOT ${CMAKE_BINARY_DIR}/openal-soft)
set(OPENAL_SOFT_PREFIX ${OPENAL_SOFT_ROOT}/install)
set(OPENAL_SOFT_DLL ${OPENAL_SOFT_PREFIX}/bin/OpenAL32.dll)
set(OPENAL_SOFT_INFO ${OPENAL_SOFT_PREFIX}/bin/openal-info.exe)
set(OPENAL_SOFT_STAMP ${OPENAL_SOFT_PREFIX}/version)

# Runs one step of OpenAL Soft's build with its output in a log file, shown
# only when the step fails.
function(openal_soft_step name)
  set(log ${OPENAL_SOFT_ROOT}/${name}.log)
  execute_process(COMMAND ${ARGN} OUTPUT_FILE ${log} ERROR_FILE ${log} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(READ ${log} output)
    message(FATAL_ERROR "OpenAL Soft ${name} failed (${result}):\n${output}")
  endif()
endfunction()

set(built_version "")
if(EXISTS ${OPENAL_SOFT_STAMP})
  file(READ ${OPENAL_SOFT_STAMP} built_version)
endif()
if(NOT built_version STREQUAL OPENAL_SOFT_VERSION OR NOT EXISTS ${OPENAL_SOFT_DLL} OR NOT EXISTS ${OPENAL_SOFT_INFO})
  message(NOTICE "Building OpenAL Soft ${OPENAL_SOFT_VERSION} for Windows (once per build tree; a few minutes)")
  set(download ${OPENAL_SOFT_ROOT}/download)
  file(REMOVE_RECURSE ${OPENAL_SOFT_PREFIX} ${OPENAL_SOFT_ROOT}/build)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/tools/fetch_openal_source.sh ${download}
                          ${OPENAL_SOFT_VERSION} ${OPENAL_SOFT_SHA256}
                  COMMAND_ERROR_IS_FATAL ANY)
  set(source_dir ${OPENAL_SOFT_ROOT}/src/openal-soft-${OPENAL_SOFT_VERSION})
  if(NOT EXISTS ${source_dir}/CMakeLists.txt)
    file(REMOVE_RECURSE ${OPENAL_SOFT_ROOT}/src)
    file(ARCHIVE_EXTRACT INPUT ${download}/openal-soft_${OPENAL_SOFT_VERSION}.orig.tar.gz
         DESTINATION ${OPENAL_SOFT_ROOT}/src)
  endif()

  # Only the library and openal-info: no other utilities, examples or tests;
  # the backends Windows has (WASAPI, DirectSound, WinMM) plus the null and
  # wave writers, and none that would look for Linux libraries; GCC's
  # runtime linked in.
  set(options
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_INSTALL_PREFIX=${OPENAL_SOFT_PREFIX}
    -DALSOFT_UTILS=ON -DALSOFT_NO_CONFIG_UTIL=ON -DALSOFT_EXAMPLES=OFF -DALSOFT_TESTS=OFF
    -DALSOFT_INSTALL_CONFIG=OFF -DALSOFT_INSTALL_HRTF_DATA=OFF -DALSOFT_INSTALL_AMBDEC_PRESETS=OFF
    -DALSOFT_INSTALL_EXAMPLES=OFF -DALSOFT_INSTALL_UTILS=OFF -DALSOFT_UPDATE_BUILD_VERSION=OFF
    -DALSOFT_BUILD_IMPORT_LIB=OFF
    -DALSOFT_STATIC_LIBGCC=ON -DALSOFT_STATIC_STDCXX=ON -DALSOFT_STATIC_WINPTHREAD=ON
    -DALSOFT_BACKEND_PIPEWIRE=OFF -DALSOFT_BACKEND_PULSEAUDIO=OFF -DALSOFT_BACKEND_JACK=OFF
    -DALSOFT_BACKEND_PORTAUDIO=OFF -DALSOFT_BACKEND_SDL3=OFF
    -DALSOFT_BACKEND_OPENSL=OFF -DALSOFT_BACKEND_OBOE=OFF -DALSOFT_BACKEND_COREAUDIO=OFF)
  openal_soft_step(configure ${CMAKE_COMMAND} -S ${source_dir} -B ${OPENAL_SOFT_ROOT}/build ${options})
  openal_soft_step(build ${CMAKE_COMMAND} --build ${OPENAL_SOFT_ROOT}/build -j2 --target OpenAL openal-info)
  openal_soft_step(install ${CMAKE_COMMAND} --install ${OPENAL_SOFT_ROOT}/build --strip)
  file(COPY ${OPENAL_SOFT_ROOT}/build/openal-info.exe DESTINATION ${OPENAL_SOFT_PREFIX}/bin)
  file(WRITE ${OPENAL_SOFT_STAMP} ${OPENAL_SOFT_VERSION})
endif()

set(OPENAL_INCLUDE_DIR ${OPENAL_SOFT_PREFIX}/include CACHE PATH "OpenAL Soft headers for Windows" FORCE)
set(OPENAL_LIBRARY ${OPENAL_SOFT_PREFIX}/lib/libOpenAL32.dll.a CACHE FILEPATH "OpenAL32.dll's import library" FORCE)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
file(COPY ${OPENAL_SOFT_DLL} ${OPENAL_SOFT_INFO} DESTINATION ${CMAKE_BINARY_DIR}/bin)
