# Writes the MinGW import library of QmDC.dll (cmake -P, run after the link).
#
# QmDC.dll exports plain names (QmDC.def with --kill-at), but a caller compiled
# with QmDC.h on 32-bit Windows asks for the __stdcall decorated symbol
# (_imp__QmDC_init@16), and the import library ld writes with --kill-at
# carries plain symbols only. So the decorations are read back from the
# compiled functions and "dlltool -k" writes an import library whose decorated
# symbols import the plain names.
#
# Inputs: NM, DLLTOOL, DEF (plain names), ARCHIVE (the objects that define
# them), DLL_NAME, DECORATED_DEF (written here), IMPLIB (written here).
foreach(input NM DLLTOOL DEF ARCHIVE DLL_NAME DECORATED_DEF IMPLIB)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "win32_import_library.cmake needs -D${input}=...")
  endif()
endforeach()

file(STRINGS ${DEF} def_lines REGEX "^[ \t]+[A-Za-z_]")
execute_process(COMMAND ${NM} -g --defined-only ${ARCHIVE}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()

set(exports "")
foreach(line ${def_lines})
  string(REGEX REPLACE "^[ \t]+([A-Za-z_][A-Za-z0-9_]*).*$" "\\1" name "${line}")
  # __stdcall: _name@n; a __cdecl function would be plain _name.
  if(symbols MATCHES " T _(${name}@[0-9]+)\n")
    string(APPEND exports "    ${CMAKE_MATCH_1}\n")
  elseif(symbols MATCHES " T _(${name})\n")
    string(APPEND exports "    ${CMAKE_MATCH_1}\n")
  else()
    message(FATAL_ERROR "${DEF} lists ${name}, which ${ARCHIVE} does not define")
  endif()
endforeach()

file(WRITE ${DECORATED_DEF} "LIBRARY \"${DLL_NAME}\"\nEXPORTS\n${exports}")
execute_process(COMMAND ${DLLTOOL} -k -d ${DECORATED_DEF} -D ${DLL_NAME} -l ${IMPLIB}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed to write ${IMPLIB}")
endif()
