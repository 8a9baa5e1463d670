# pugixml for the Windows build, compiled from Debian's source package, which
# `QMDC_WIN32=1 scripts/setup.sh` unpacks into /usr/local/src/pugixml. Defines
# pugixml::pugixml as the Linux package's configuration does.
set(QMDC_PUGIXML_SOURCE_DIR "/usr/local/src/pugixml" CACHE PATH
    "pugixml's source tree, for builds where no pugixml library for the target exists")
set(pugixml_sources ${QMDC_PUGIXML_SOURCE_DIR}/src)
if(NOT EXISTS ${pugixml_sources}/pugixml.cpp)
  message(FATAL_ERROR "pugixml's source is not in ${QMDC_PUGIXML_SOURCE_DIR} "
                      "(QMDC_WIN32=1 scripts/setup.sh puts it there; or set QMDC_PUGIXML_SOURCE_DIR)")
endif()
add_library(qmdc_pugixml STATIC ${pugixml_sources}/pugixml.cpp)
# Its header counts as a system one: our warnings are not its business.
target_include_directories(qmdc_pugixml SYSTEM PUBLIC ${pugixml_sources})
add_library(pugixml::pugixml ALIAS qmdc_pugixml)
