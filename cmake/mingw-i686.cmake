# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686).
# The -posix compilers are used because only they provide std::thread and
# std::mutex (the -win32 thread model has neither).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(QMDC_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QMDC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QMDC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QMDC_MINGW_PREFIX}-windres)
# ar, nm, objdump and dlltool are found by their prefix (CMAKE_DLLTOOL is what
# platform/vendor and driver/ use to write import libraries).

set(CMAKE_FIND_ROOT_PATH /usr/${QMDC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLLs must not depend on the MinGW runtime DLLs (libgcc_s_dw2-1.dll,
# libstdc++-6.dll, libwinpthread-1.dll), which a test station does not have.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Release DLLs carry no DWARF symbols (Windows debuggers do not read them).
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
