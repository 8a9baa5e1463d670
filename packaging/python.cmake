# The Python binding: the package qmdc in QMDC_INSTALL_PYTHONDIR, with a
# relative link libqmdc.so beside its modules to the library installed with
# it. The binding looks there first (after $QMDC_LIBRARY), so an installed or
# unpacked tree needs neither a library path nor ldconfig.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/qmdc DESTINATION ${QMDC_INSTALL_PYTHONDIR}
        PATTERN __pycache__ EXCLUDE)
install(CODE "
  set(package ${QMDC_INSTALL_PYTHONDIR}/qmdc)
  set(library ${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:qmdc>)
  cmake_path(ABSOLUTE_PATH package BASE_DIRECTORY \${CMAKE_INSTALL_PREFIX})
  cmake_path(ABSOLUTE_PATH library BASE_DIRECTORY \${CMAKE_INSTALL_PREFIX})
  file(RELATIVE_PATH target \${package} \${library})
  set(link \$ENV{DESTDIR}\${package}/libqmdc.so)
  message(STATUS \"Installing: \${link} -> \${target}\")
  file(CREATE_LINK \${target} \${link} SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \${link})
")
