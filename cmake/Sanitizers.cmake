# QMDC_SANITIZE: "" (none), "address" (ASan + UBSan) or "thread" (TSan).
set(QMDC_SANITIZE "" CACHE STRING "Sanitizers to build with: '', 'address' or 'thread'")
if(QMDC_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QMDC_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
