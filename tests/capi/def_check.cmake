# The Windows export lists (checked on every platform, since the header is
# what changes): the driver's QmDC.def and the vendor import libraries' .def
# files must list exactly the functions their headers declare.
set(def_checker ${CMAKE_CURRENT_LIST_DIR}/check_def.cmake)
foreach(check
        "DefMatchesHeader|include/QmDC.h|driver/QmDC.def"
        "VendorVisaDefMatchesHeader|platform/visa/include/visa.h|platform/vendor/visa32.def"
        "VendorIviConfigDefMatchesHeader|platform/iviconfig/include/IviConfigServer.h|platform/vendor/IviConfigServer.def")
  string(REPLACE "|" ";" check "${check}")
  list(GET check 0 name)
  list(GET check 1 header)
  list(GET check 2 def)
  add_test(NAME CApi.${name}
           COMMAND ${CMAKE_COMMAND} -DHEADER=${PROJECT_SOURCE_DIR}/${header}
                   -DDEF=${PROJECT_SOURCE_DIR}/${def} -P ${def_checker})
endforeach()

# The checker itself reports a header function the list lacks, by name.
add_test(NAME CApi.DefCheckReportsMissingFunction
         COMMAND ${CMAKE_COMMAND} -DHEADER=${PROJECT_SOURCE_DIR}/include/QmDC.h
                 -DDEF=${PROJECT_SOURCE_DIR}/platform/vendor/visa32.def -P ${def_checker})
set_tests_properties(CApi.DefCheckReportsMissingFunction PROPERTIES
  PASS_REGULAR_EXPRESSION "missing from [^\n]*visa32.def: QmDC_init QmDC_InitWithOptions")
