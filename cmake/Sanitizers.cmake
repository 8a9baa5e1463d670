# QMDC_SANITIZE: "" (none), "address" (ASan + UBSan), "thread" (TSan) or
# "fuzzer" (ASan + UBSan and libFuzzer's coverage instrumentation, clang only;
# the fuzz targets themselves link with -fsanitize=fuzzer).
set(QMDC_SANITIZE "" CACHE STRING "Sanitizers to build with: '', 'address', 'thread' or 'fuzzer'")

# Shared libraries are linked with every symbol resolved, except under clang's
# sanitizers: clang puts their runtime into the executable only, and the
# libraries find it there when loaded.
set(QMDC_NO_UNDEFINED -Wl,--no-undefined)
if(QMDC_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QMDC_SANITIZE STREQUAL "fuzzer")
  # Without the vptr and function checks, whose runtime clang links into C++
  # programs only: the C programs that load the libraries link too.
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize=vptr,function
                      -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  set(QMDC_NO_UNDEFINED "")
elseif(QMDC_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
