# whisper.cpp from the pinned whisper.rn package, built once per version and flag set into a
# cache outside the build tree (so clean clones and CI reuse it) and imported as kivo::whisper
# (libkivo-whisper.so, exporting only whisper_*). The build itself is cmake/whisper/CMakeLists.txt;
# any change to it, to the export list or to the compiler gives a new cache key.
include_guard(GLOBAL)
include(ExternalProject)

set(KIVO_WHISPER_VERSION "0.7.4")
set(KIVO_WHISPER_CPP_DIR "${KIVO_THIRD_PARTY_DIR}/whisper.rn-${KIVO_WHISPER_VERSION}/cpp")
if(NOT EXISTS "${KIVO_WHISPER_CPP_DIR}/whisper.h")
  message(FATAL_ERROR "whisper.rn ${KIVO_WHISPER_VERSION} is not unpacked in ${KIVO_THIRD_PARTY_DIR}: "
                      "run scripts/setup.sh")
endif()

if(NOT DEFINED KIVO_THIRD_PARTY_CACHE)
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(kivo_cache_root "$ENV{XDG_CACHE_HOME}")
  else()
    set(kivo_cache_root "$ENV{HOME}/.cache")
  endif()
  set(KIVO_THIRD_PARTY_CACHE "${kivo_cache_root}/kivo-third-party" CACHE PATH
      "Where prebuilt third-party libraries are kept across build trees")
endif()

file(READ "${CMAKE_CURRENT_LIST_DIR}/whisper/CMakeLists.txt" kivo_whisper_recipe)
file(READ "${CMAKE_CURRENT_LIST_DIR}/whisper/exports.map" kivo_whisper_exports)
string(SHA256 kivo_whisper_key
  "${kivo_whisper_recipe}|${kivo_whisper_exports}|${CMAKE_C_COMPILER_ID}-${CMAKE_C_COMPILER_VERSION}|${CMAKE_CXX_COMPILER_ID}-${CMAKE_CXX_COMPILER_VERSION}")
string(SUBSTRING "${kivo_whisper_key}" 0 12 kivo_whisper_key)
set(KIVO_WHISPER_PREFIX "${KIVO_THIRD_PARTY_CACHE}/whisper-${KIVO_WHISPER_VERSION}-${kivo_whisper_key}")
set(kivo_whisper_lib "${KIVO_WHISPER_PREFIX}/lib/libkivo-whisper.so")

add_library(kivo::whisper SHARED IMPORTED GLOBAL)
set_target_properties(kivo::whisper PROPERTIES
  IMPORTED_LOCATION "${kivo_whisper_lib}"
  IMPORTED_SONAME "libkivo-whisper.so"
  INTERFACE_INCLUDE_DIRECTORIES "${KIVO_WHISPER_CPP_DIR}")

if(EXISTS "${KIVO_WHISPER_PREFIX}/complete")
  message(STATUS "whisper.rn ${KIVO_WHISPER_VERSION}: using the cached build in ${KIVO_WHISPER_PREFIX}")
else()
  message(STATUS "whisper.rn ${KIVO_WHISPER_VERSION}: will build into ${KIVO_WHISPER_PREFIX}")
  # Staged inside the build tree, then moved into the cache in one rename, so two build trees
  # building at once never leave a half-written cache entry.
  set(stage "${CMAKE_BINARY_DIR}/_deps/whisper-stage")
  ExternalProject_Add(kivo_whisper_build
    SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/whisper"
    BINARY_DIR "${CMAKE_BINARY_DIR}/_deps/whisper-build"
    CMAKE_ARGS
      -G Ninja
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
      -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
      -DCMAKE_INSTALL_PREFIX=${stage}
      -DWHISPER_CPP_DIR=${KIVO_WHISPER_CPP_DIR}
    INSTALL_COMMAND ${CMAKE_COMMAND} --install <BINARY_DIR>
    COMMAND ${CMAKE_COMMAND} -DNAME=whisper -DSTAGE=${stage} -DPREFIX=${KIVO_WHISPER_PREFIX}
            -P "${CMAKE_CURRENT_LIST_DIR}/PublishCachedBuild.cmake"
    BUILD_BYPRODUCTS "${kivo_whisper_lib}"
    USES_TERMINAL_BUILD ON)
  add_dependencies(kivo::whisper kivo_whisper_build)
endif()

# The library and its licence travel with the bundle; Kivo finds the library through its RPATH.
install(FILES "${kivo_whisper_lib}" DESTINATION lib)
install(FILES "${CMAKE_CURRENT_LIST_DIR}/whisper/LICENSE"
  DESTINATION "${KIVO_BUNDLE_RESOURCES_DIR}/licenses" RENAME whisper.cpp.txt)
