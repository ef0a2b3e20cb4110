# Shared compile settings for every target of our own (third-party code is built elsewhere).
function(kivo_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # Out-of-range indexing and empty optionals stop the program at once instead of reading
  # past the end; the checks do not change any layout, so third-party code links as before.
  target_compile_definitions(${target} PRIVATE _GLIBCXX_ASSERTIONS)
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
  set(properties LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT})
  if(ARG_ENVIRONMENT)
    # The test's own environment, through env(1) as the launcher: a list-valued ENVIRONMENT
    # property does not survive test discovery intact.
    set_target_properties(${ARG_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "env;${ARG_ENVIRONMENT}")
  endif()
  if("desktop" IN_LIST ARG_LABELS)
    # Desktop tests share one display, clipboard, keyboard and accessibility bus.
    list(APPEND properties RUN_SERIAL TRUE)
    # A hanging desktop test fails with its name long before the time-out below.
    target_sources(${ARG_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/DesktopWatchdog.cpp)
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${properties})
endfunction()
