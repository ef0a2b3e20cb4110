# Run by CPack on the staged package: the bundled llama.cpp and whisper.cpp libraries are
# installed as plain files, which CPACK_STRIP_FILES leaves alone. Debian wants shared libraries
# stripped of their debugging symbols and not executable.
file(GLOB_RECURSE libraries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so" "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so.*")
foreach(library IN LISTS libraries)
  if(NOT IS_SYMLINK "${library}")
    execute_process(COMMAND "${CPACK_KIVO_STRIP}" --strip-unneeded --remove-section=.comment --remove-section=.note "${library}"
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot strip ${library}")
    endif()
    file(CHMOD "${library}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
