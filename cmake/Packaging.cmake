# A Debian package of what `cmake --install` puts in place: the program in
# bin/, the askpass helper in libexec/vistrel/, the help page, desktop entry
# and icon in share/. `cpack` in a build folder writes vistrel_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VENDOR "Vistrel")
set(CPACK_PACKAGE_CONTACT "Vistrel maintainers <maintainers@vistrel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Live camera view of a Steam Frame VR headset")
set(CPACK_PACKAGE_DESCRIPTION
  "Vistrel logs into a Steam Frame headset over SSH, starts its camera stream and shows
the live picture in a window, with MP4 recording, PNG screenshots and a diagnostics
report.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vistrel.invalid/")
# Shared libraries are found by dpkg-shlibdeps. QML modules and image plugins
# are loaded at run time, and the SSH client is a program it starts, so they
# are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "openssh-client, libqt6svg6, qml6-module-qtqml, qml6-module-qtqml-workerscript, qml6-module-qtqml-models, qml6-module-qtquick, qml6-module-qtquick-templates, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-shapes")
include(CPack)
