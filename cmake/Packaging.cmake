# The Debian package: the bundle under /opt/kivo, and the desktop's files (entry, icons,
# metainfo, the Kivo command) under /usr. Those live in the "desktop" component, which only
# the package installs: `cmake --install` of a bundle elsewhere never writes outside its prefix.
set(KIVO_PACKAGE_PREFIX "/opt/kivo")
set(desktop_dir "${CMAKE_SOURCE_DIR}/bundle/desktop")
configure_file("${desktop_dir}/local.kivo.afm-trial.metainfo.xml"
  "${CMAKE_BINARY_DIR}/desktop/local.kivo.afm-trial.metainfo.xml" @ONLY)
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/desktop")
file(CREATE_LINK "${KIVO_PACKAGE_PREFIX}/bin/Kivo" "${CMAKE_BINARY_DIR}/desktop/Kivo" SYMBOLIC)

install(FILES "${desktop_dir}/local.kivo.afm-trial.desktop"
  DESTINATION /usr/share/applications COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES "${CMAKE_BINARY_DIR}/desktop/local.kivo.afm-trial.metainfo.xml"
  DESTINATION /usr/share/metainfo COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES "${desktop_dir}/local.kivo.afm-trial.svg"
  DESTINATION /usr/share/icons/hicolor/scalable/apps COMPONENT desktop EXCLUDE_FROM_ALL)
install(DIRECTORY "${KIVO_ICON_DIR}/"
  DESTINATION /usr/share/icons/hicolor COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES "${CMAKE_BINARY_DIR}/desktop/Kivo"
  DESTINATION /usr/bin COMPONENT desktop EXCLUDE_FROM_ALL)

# What Debian asks of every package: the licences (DEP-5), a changelog and a manual page, both
# compressed reproducibly; and the override for the bundle living under /opt.
set(debian_dir "${CMAKE_SOURCE_DIR}/bundle/debian")
configure_file("${debian_dir}/changelog" "${CMAKE_BINARY_DIR}/desktop/changelog" @ONLY)
configure_file("${debian_dir}/Kivo.1" "${CMAKE_BINARY_DIR}/desktop/Kivo.1" @ONLY)
foreach(page changelog Kivo.1)
  execute_process(COMMAND gzip -9nc "${CMAKE_BINARY_DIR}/desktop/${page}"
    OUTPUT_FILE "${CMAKE_BINARY_DIR}/desktop/${page}.gz" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES "${debian_dir}/copyright" "${CMAKE_BINARY_DIR}/desktop/changelog.gz"
  DESTINATION /usr/share/doc/kivo COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES "${CMAKE_BINARY_DIR}/desktop/Kivo.1.gz"
  DESTINATION /usr/share/man/man1 COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES "${debian_dir}/lintian-overrides"
  DESTINATION /usr/share/lintian/overrides RENAME kivo COMPONENT desktop EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VENDOR "Kivo")
set(CPACK_PACKAGE_CONTACT "Kivo developers <kivo@kivo.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Cantonese voice to text, on this machine")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION "A small floating panel that records spoken Cantonese, recognises it on the
machine itself and converts the transcript with an on-device language model
into tidied Cantonese, written Traditional Chinese, Simplified Chinese or
English, ready to copy or to insert into the focused input of another
application.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${KIVO_PACKAGE_PREFIX}")
# With DESTDIR installs (needed for the files under /usr) this is the prefix that counts.
set(CPACK_INSTALL_PREFIX "${KIVO_PACKAGE_PREFIX}")
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_SOURCE_DIR}/build")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified desktop)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kivo.local/")
# Libraries come from dpkg-shlibdeps; the llama.cpp and whisper.cpp libraries are the bundle's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/kivo_${PROJECT_VERSION}_amd64${KIVO_PACKAGE_PREFIX}/lib"
  "${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/kivo_${PROJECT_VERSION}_amd64${KIVO_PACKAGE_PREFIX}/Resources/lib")
# Besides the libraries (Qt's X11 platform plugin, which Kivo runs on also under Wayland, comes
# with libqt6gui6): the accessibility bus for insertion; recommended are the panel's fonts and
# symbols, XWayland and Qt's Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "at-spi2-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei, adwaita-icon-theme, xwayland, qt6-wayland")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/StripPackageLibraries.cmake")
set(CPACK_KIVO_STRIP "${CMAKE_STRIP}")
include(CPack)
