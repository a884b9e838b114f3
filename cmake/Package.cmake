# A Debian package of the installed tree (CPack's DEB generator): `cpack -G DEB` in a build
# folder, or scripts/package.sh, which also checks it. Its dependencies are computed from the
# shared libraries the two programs link (dpkg-shlibdeps); no maintainer scripts are needed.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel-stream)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ostrel Stream developers")
set(CPACK_PACKAGE_CONTACT "Ostrel Stream developers <maintainers@users.noreply.c-seed-eb6aad03.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "door-entry station for IP door panels")
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ostrel Stream sits on a receptionist's or resident's workstation next to IP
door-entry panels. When a panel rings, the program checks who is calling and
whom, and shows the panel's live video until the call ends. From the same
window the user opens the door through the panel's HTTP API, listens to the
panel's sound, sends it a voice message and takes snapshots.
.
The package also holds panel-sim, a simulated door panel, so that a
workstation can be tried without a real panel.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# The Qt plugins the program loads at run time are not seen by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, pulseaudio | pipewire-pulse")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
