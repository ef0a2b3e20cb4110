# llama.cpp from the pinned llama.rn package, built once per version and flag set into a cache
# outside the build tree (so clean clones and CI reuse it) and imported as:
#   kivo::llama      libkivo-llama.so, linked by the language model layer
#   KIVO_LLAMA_CPU_MODULE  path of libkivo-llama-cpu.so, the CPU backend loaded at run time
#                          (also kivo::llama's property KIVO_CPU_MODULE, for other folders)
#   KIVO_LLAMA_CPU_AVX512_MODULE  the same backend for AVX-512 processors (property
#                          KIVO_CPU_AVX512_MODULE)
# The build itself is cmake/llama/CMakeLists.txt; any change to it, to the export list or to the
# compiler gives a new cache key.
include_guard(GLOBAL)
include(ExternalProject)

set(KIVO_LLAMA_VERSION "0.12.9")
set(KIVO_LLAMA_CPP_DIR "${KIVO_THIRD_PARTY_DIR}/llama.rn-${KIVO_LLAMA_VERSION}/cpp")
if(NOT EXISTS "${KIVO_LLAMA_CPP_DIR}/llama.h")
  message(FATAL_ERROR "llama.rn ${KIVO_LLAMA_VERSION} is not unpacked in ${KIVO_THIRD_PARTY_DIR}: "
                      "run scripts/setup.sh")
endif()

if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(kivo_cache_root "$ENV{XDG_CACHE_HOME}")
else()
  set(kivo_cache_root "$ENV{HOME}/.cache")
endif()
set(KIVO_THIRD_PARTY_CACHE "${kivo_cache_root}/kivo-third-party" CACHE PATH
    "Where prebuilt third-party libraries are kept across build trees")

file(READ "${CMAKE_CURRENT_LIST_DIR}/llama/CMakeLists.txt" kivo_llama_recipe)
file(READ "${CMAKE_CURRENT_LIST_DIR}/llama/exports.map" kivo_llama_exports)
string(SHA256 kivo_llama_key
  "${kivo_llama_recipe}|${kivo_llama_exports}|${CMAKE_C_COMPILER_ID}-${CMAKE_C_COMPILER_VERSION}|${CMAKE_CXX_COMPILER_ID}-${CMAKE_CXX_COMPILER_VERSION}")
string(SUBSTRING "${kivo_llama_key}" 0 12 kivo_llama_key)
set(KIVO_LLAMA_PREFIX "${KIVO_THIRD_PARTY_CACHE}/llama-${KIVO_LLAMA_VERSION}-${kivo_llama_key}")
set(kivo_llama_core "${KIVO_LLAMA_PREFIX}/lib/libkivo-llama.so")
set(KIVO_LLAMA_CPU_MODULE "${KIVO_LLAMA_PREFIX}/lib/libkivo-llama-cpu.so")
set(KIVO_LLAMA_CPU_AVX512_MODULE "${KIVO_LLAMA_PREFIX}/lib/libkivo-llama-cpu-avx512.so")

add_library(kivo::llama SHARED IMPORTED GLOBAL)
set_target_properties(kivo::llama PROPERTIES
  IMPORTED_LOCATION "${kivo_llama_core}"
  IMPORTED_SONAME "libkivo-llama.so"
  INTERFACE_INCLUDE_DIRECTORIES "${KIVO_LLAMA_CPP_DIR};${KIVO_LLAMA_CPP_DIR}/common"
  KIVO_CPU_MODULE "${KIVO_LLAMA_CPU_MODULE}"
  KIVO_CPU_AVX512_MODULE "${KIVO_LLAMA_CPU_AVX512_MODULE}")

if(EXISTS "${KIVO_LLAMA_PREFIX}/complete")
  message(STATUS "llama.rn ${KIVO_LLAMA_VERSION}: using the cached build in ${KIVO_LLAMA_PREFIX}")
else()
  message(STATUS "llama.rn ${KIVO_LLAMA_VERSION}: will build into ${KIVO_LLAMA_PREFIX}")
  # Staged inside the build tree, then moved into the cache in one rename, so two build trees
  # building at once never leave a half-written cache entry.
  set(stage "${CMAKE_BINARY_DIR}/_deps/llama-stage")
  ExternalProject_Add(kivo_llama_build
    SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/llama"
    BINARY_DIR "${CMAKE_BINARY_DIR}/_deps/llama-build"
    CMAKE_ARGS
      -G Ninja
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
      -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
      -DCMAKE_INSTALL_PREFIX=${stage}
      -DLLAMA_CPP_DIR=${KIVO_LLAMA_CPP_DIR}
    INSTALL_COMMAND ${CMAKE_COMMAND} --install <BINARY_DIR>
    COMMAND ${CMAKE_COMMAND} -DNAME=llama -DSTAGE=${stage} -DPREFIX=${KIVO_LLAMA_PREFIX}
            -P "${CMAKE_CURRENT_LIST_DIR}/PublishCachedBuild.cmake"
    BUILD_BYPRODUCTS "${kivo_llama_core}" "${KIVO_LLAMA_CPU_MODULE}" "${KIVO_LLAMA_CPU_AVX512_MODULE}"
    USES_TERMINAL_BUILD ON)
  add_dependencies(kivo::llama kivo_llama_build)
endif()

# The licences of llama.cpp and ggml, and of the llama.rn package they come from, travel with
# the bundle like whisper.cpp's.
install(FILES "${KIVO_LLAMA_CPP_DIR}/LICENSE"
  DESTINATION "${KIVO_BUNDLE_RESOURCES_DIR}/licenses" RENAME llama.cpp.txt)
install(FILES "${KIVO_LLAMA_CPP_DIR}/../LICENSE"
  DESTINATION "${KIVO_BUNDLE_RESOURCES_DIR}/licenses" RENAME llama.rn.txt)
