# A check that the import libraries match the headers: a small DLL that takes
# the address of every function the .def files list, compiled with the vendor
# headers. A name the header does not declare fails the compile; an "@n" that
# is not what the compiler computes for the prototype fails the link. (The
# other direction, a header function missing from a .def, is a test on Linux.)
set(check_text "#include \"visa.h\"\n#include \"IviConfigServer.h\"\n\n")
string(APPEND check_text "typedef void (*any_function)(void);\n\n"
       "const any_function qmdc_vendor_imports[] = {\n")
foreach(stem visa32 IviConfigServer)
  set(def ${CMAKE_CURRENT_SOURCE_DIR}/${stem}.def)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  file(STRINGS ${def} def_lines REGEX "^[ \t]+[A-Za-z_]")
  foreach(line ${def_lines})
    string(REGEX REPLACE "^[ \t]+([A-Za-z_][A-Za-z0-9_]*).*$" "\\1" name "${line}")
    string(APPEND check_text "    (any_function)&${name},\n")
  endforeach()
endforeach()
string(APPEND check_text "};\n")
set(check_source ${CMAKE_CURRENT_BINARY_DIR}/import_check.c)
file(CONFIGURE OUTPUT ${check_source} CONTENT "${check_text}")

add_library(qmdc_vendor_import_check MODULE ${check_source})
target_link_libraries(qmdc_vendor_import_check PRIVATE qmdc::visa qmdc::iviconfig)
set_target_properties(qmdc_vendor_import_check PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
