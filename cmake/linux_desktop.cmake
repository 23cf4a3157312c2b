# The Linux program as a desktop citizen: its install layout (program, data
# folder, menu entry, icons, AppStream metainfo) and the Debian package.
if(ORVANE_CORE_ONLY OR WIN32)
  return()
endif()

include(GNUInstallDirs)

set(ORVANE_APP_ID org.example.orvane)
set(ORVANE_HOMEPAGE https://orvane.example.org/)
set(ORVANE_RELEASE_DATE 2026-12-07)

# --- data folder ------------------------------------------------------------------

# The installed program finds its data folder from its own place.
file(RELATIVE_PATH ORVANE_DATA_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/orvane)
target_compile_definitions(orvane_qt PRIVATE ORVANE_DATA_FROM_BIN="${ORVANE_DATA_FROM_BIN}")

# --- install layout --------------------------------------------------------------

# The tray images: see the install rule beside their build-tree copies.
install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/${ORVANE_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/logo/orvane-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${ORVANE_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/logo/orvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${ORVANE_APP_ID}.svg)
configure_file(${PROJECT_SOURCE_DIR}/resources/linux/${ORVANE_APP_ID}.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/${ORVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${ORVANE_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# --- Debian package (cpack -G DEB) -------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane developers <orvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small MP3 player that plays whole folder trees")
set(CPACK_PACKAGE_DESCRIPTION
  "Orvane plays a folder of MP3 files, and optionally all its subfolders, as one
continuous sequence in the order of the file names or of their creation dates.
Minimised, it lives in the system tray; media keys and the desktop's media
controls drive it through MPRIS.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ORVANE_HOMEPAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies are the Debian packages of the libraries the program links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
