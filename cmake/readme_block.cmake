# Writes the first ```LANGUAGE block of a section of the README to OUTPUT, so
# that the README's examples are compiled and run as written:
#   cmake -DREADME=README.md "-DHEADING=## From C" -DLANGUAGE=c -DOUTPUT=example.c
#         -P cmake/readme_block.cmake
# HEADING is the heading's whole line; the block must come before the next
# section of the same level.
foreach(variable README HEADING LANGUAGE OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "readme_block.cmake needs -D${variable}=...")
  endif()
endforeach()

file(READ "${README}" text)
string(FIND "${text}" "\n${HEADING}\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${README} has no section \"${HEADING}\"")
endif()
string(LENGTH "\n${HEADING}\n" heading_length)
math(EXPR at "${at} + ${heading_length}")
string(SUBSTRING "${text}" ${at} -1 section)

# The section ends where the next heading of its level begins.
string(REGEX MATCH "^#+ " level "${HEADING}")
string(FIND "${section}" "\n${level}" next)
if(NOT next EQUAL -1)
  string(SUBSTRING "${section}" 0 ${next} section)
endif()

set(fence "```${LANGUAGE}\n")
string(FIND "${section}" "${fence}" start)
if(start EQUAL -1)
  message(FATAL_ERROR "The section \"${HEADING}\" of ${README} has no ```${LANGUAGE} block")
endif()
string(LENGTH "${fence}" fence_length)
math(EXPR start "${start} + ${fence_length}")
string(SUBSTRING "${section}" ${start} -1 block)
string(FIND "${block}" "```\n" end)
string(SUBSTRING "${block}" 0 ${end} block)
file(WRITE "${OUTPUT}" "${block}")
