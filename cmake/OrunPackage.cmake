# The Debian package, made by CPack from the install rules (OrunInstall.cmake):
#   cpack --config <build>/CPackConfig.cmake
# scripts/package does this from a Release build of the program alone.
#   name          orunapp
#   version       the project's version
#   architecture  the build machine's (dpkg --print-architecture)
#   Depends       computed by dpkg-shlibdeps from the libraries the program loads
# The program is stripped; the package holds what cmake --install puts under
# /usr and nothing else (no tests, benchmarks or tools).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orunapp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORUN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for a network gimbal camera")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "orunapp finds a gimbal camera with built-in subject tracking on the PC's\n"
    "networks (USB network link, the camera's hotspot or a shared Wi-Fi), shows\n"
    "its live H.264 video with the tracked subjects boxed, steers the gimbal,\n"
    "zooms, focuses and selects targets by clicking the picture, takes photos,\n"
    "records video, and changes the camera's settings and Wi-Fi mode.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface's own texts are Chinese: a font that has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the install rules create implicitly get the usual 0755, whatever the
# umask of the person packaging.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
