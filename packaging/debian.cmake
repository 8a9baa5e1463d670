# cpack -G DEB (run in the build folder): one package, qmdc, with everything
# `cmake --install` puts in /usr. Its dependencies are read from the binaries
# by dpkg-shlibdeps: the C++ runtime, pugixml (configuration server) and
# libedit (the tool's shell).
set(CPACK_PACKAGE_NAME qmdc)
set(CPACK_PACKAGE_VENDOR "QmDC developers")
set(CPACK_PACKAGE_CONTACT "QmDC developers <dev@qmdc.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IVI-C driver for Orvane QM DC power supplies")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "QmDC is an IVI-C specific instrument driver for the Orvane QM family of"
  "programmable DC power supplies with one output, bench and rack models:"
  "libqmdc.so and its header QmDC.h, the VISA library, IVI session services"
  "and IVI configuration server it runs on, the command-line tool qmdc, the"
  "instrument emulator qmdc-emulator, a pkg-config file, a CMake package"
  "(QmDC::qmdc) and the Python binding qmdc.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
# Installed into /usr with DESTDIR, so that what is written at install time
# (qmdc.pc) names /usr and not the folder the package is made in.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # qmdc_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# `qmdc sweep --plot` draws with gnuplot; the binding needs python3.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnuplot-nox | gnuplot, python3")
set(CPACK_STRIP_FILES ON)
include(CPack)
