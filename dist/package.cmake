# The Debian package, quorvel_<version>_amd64.deb (`make package`): CPack's DEB generator
# over the same install rules as `cmake --install --prefix /usr`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 79 characters: dpkg shows them indented by one.
set(CPACK_PACKAGE_DESCRIPTION
    "Shows every button event of an infrared remote as a line in a small window,
and sends play/pause, previous, next and volume to the running media player
over MPRIS. Reads a receiver on a serial port, lircd, the kernel's input
devices and IR bridges on an MQTT broker, all at once. Runs without a
desktop in console mode, also as a systemd user service. Includes
quorvel-send, a virtual receiver for trying it out without hardware.")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_MAINTAINER}")

# The units name the program by CMAKE_INSTALL_PREFIX: CPack installs with the prefix /usr
# into a staging DESTDIR, said outright. Folders there take their modes from the umask, so
# package under umask 022, as `make package` does.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# Depends: computed from the programs by dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
