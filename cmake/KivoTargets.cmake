# Shared compile settings for every target of our own (third-party code is built elsewhere).
function(kivo_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KIVO_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# kivo_add_test(NAME name LABELS unit|desktop|model|speech SOURCES ... LIBRARIES ... [ENVIRONMENT ...])
# One GoogleTest executable; each test case becomes a ctest entry carrying the labels.
function(kivo_add_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  kivo_target_defaults(${ARG_NAME})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${ARG_NAME} PRIVATE
    KIVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KIVO_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(serial FALSE)
  if("desktop" IN_LIST ARG_LABELS)
    # Desktop tests share one display, clipboard, keyboard and accessibility bus.
    set(serial TRUE)
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}"
               RUN_SERIAL ${serial})
endfunction()
