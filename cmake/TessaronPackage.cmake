# A Debian package of the installed layout (scripts/package). Shared-library dependencies come
# from dpkg-shlibdeps; the QML modules the views import are loaded at run time, which no
# linker sees, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaron)
set(CPACK_PACKAGE_VENDOR "ORVELL")
set(CPACK_PACKAGE_CONTACT "Tessaron developers <tessaron@orvell.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Measurement suite for Kestrane time-to-digital converter boards")
set(CPACK_PACKAGE_DESCRIPTION
    "Count rates, start-stop time histograms with live statistics, time tagging to raw files and threshold tuning for Kestrane TDC boards, with a virtual board to try it without hardware.")
# The package carries the version the program reports (Tessaron --version).
file(STRINGS ${CMAKE_SOURCE_DIR}/source/src/buildinfo.cpp.in tessaron_version_line REGEX "kApplicationVersion = ")
string(REGEX MATCH "[0-9]+(\\.[0-9]+)+" tessaron_version "${tessaron_version_line}")
if(NOT tessaron_version)
  message(FATAL_ERROR "cannot find the program's version in source/src/buildinfo.cpp.in")
endif()
set(CPACK_PACKAGE_VERSION ${tessaron_version})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package carries no debugging information; the build folder keeps it.
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps finds the program's own libraries in its private folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/bin/Chartelle)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml-module-qtquick2, qml-module-qtquick-window2, qml-module-qtquick-controls2, qml-module-qtquick-controls, qml-module-qtquick-layouts, qml-module-qtquick-shapes, qml-module-qtquick-dialogs, qml-module-qtgraphicaleffects, qml-module-qt-labs-platform, qml-module-qtquick-templates2, qml-module-qt-labs-settings, libqt5svg5, fonts-material-design-icons-iconfont, fonts-play")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-numpy")
include(CPack)
