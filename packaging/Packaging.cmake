# Installation and the Debian package. Included from the top-level CMakeLists.txt, so the
# CPack settings below reach include(CPack).
#
# Layout under the prefix (/usr/local for `cmake --install`, /usr in the package):
#   bin/windhollow, bin/wh_tileserver, bin/windhollow-offline
#   share/windhollow/assets/...                 found by the program through ../share/windhollow
#   share/applications/windhollow.desktop
#   share/icons/hicolor/scalable/apps/windhollow.svg
#   share/doc/windhollow/README.md
# The destinations are fixed rather than taken from GNUInstallDirs: the program looks for its
# assets at ../share/windhollow relative to its own directory (INSTALLED_DATA_DIR in
# app/Config.h), and the two must agree.

install(TARGETS windhollow wh_tileserver RUNTIME DESTINATION bin)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/windhollow-offline DESTINATION bin)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/assets DESTINATION share/windhollow)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windhollow.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windhollow.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/windhollow)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME windhollow)
set(CPACK_PACKAGE_VENDOR "Windhollow")
set(CPACK_PACKAGE_CONTACT "Windhollow developers <windhollow@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flight simulator over streamed map tiles")
set(CPACK_PACKAGE_DESCRIPTION "Windhollow flies a light aircraft over terrain built from XYZ map \
tiles: imagery and elevation from any two tile servers, cached on disk, drawn with OpenGL 4.3 \
under an atmospheric sky. It comes with its own local tile server, which serves a procedural \
world, so it also runs without a network connection.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# Library dependencies come from dpkg-shlibdeps on the installed programs. Beside them: a GL
# driver for machines without a vendor driver, and the certificates that https tile servers need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
