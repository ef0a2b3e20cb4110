# cmake -DLUPDATE=... -DSOURCE_DIR=... -DCATALOGUE=... [-DWORK_DIR=...] -P TranslationCatalogue.cmake
# With WORK_DIR: checks that the catalogue is current with the sources and fully translated
# (it runs lupdate on a copy there). Without: updates the catalogue in place.
cmake_minimum_required(VERSION 3.25)
get_filename_component(name "${CATALOGUE}" NAME)
string(REGEX MATCH "kivo_(.+)\\.ts$" _ "${name}")
set(language "${CMAKE_MATCH_1}")
set(target "${CATALOGUE}")
if(WORK_DIR)
  file(MAKE_DIRECTORY "${WORK_DIR}")
  set(target "${WORK_DIR}/${name}")
  file(COPY_FILE "${CATALOGUE}" "${target}")
endif()
# No source locations: the catalogue changes only when a text does.
execute_process(
  COMMAND "${LUPDATE}" -silent -I "${SOURCE_DIR}" -locations none -target-language "${language}"
          "${SOURCE_DIR}/app" -ts "${target}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed on ${name}")
endif()
if(NOT WORK_DIR)
  return()
endif()
file(READ "${CATALOGUE}" committed)
file(READ "${target}" current)
if(NOT committed STREQUAL current)
  execute_process(COMMAND diff -u "${CATALOGUE}" "${target}")
  message(FATAL_ERROR "${name} is not current with the sources: run the kivo_update_translations target")
endif()
foreach(state unfinished vanished obsolete)
  string(FIND "${committed}" "type=\"${state}\"" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${name} has ${state} messages")
  endif()
endforeach()
