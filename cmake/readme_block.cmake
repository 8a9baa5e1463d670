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

# Sets <result> to what follows the first <marker> in <text>; fails with
# <missing> when there is none.
function(text_after text marker missing result)
  string(FIND "${text}" "${marker}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${missing}")
  endif()
  string(LENGTH "${marker}" length)
  math(EXPR at "${at} + ${length}")
  string(SUBSTRING "${text}" ${at} -1 after)
  set(${result} "${after}" PARENT_SCOPE)
endfunction()

file(READ "${README}" text)
text_after("${text}" "\n${HEADING}\n" "${README} has no section \"${HEADING}\"" section)

# The section ends where the next heading of its level begins.
string(REGEX MATCH "^#+ " level "${HEADING}")
string(FIND "${section}" "\n${level}" next)
if(NOT next EQUAL -1)
  string(SUBSTRING "${section}" 0 ${next} section)
endif()

text_after("${section}" "```${LANGUAGE}\n"
           "The section \"${HEADING}\" of ${README} has no ```${LANGUAGE} block" block)
string(FIND "${block}" "```\n" end)
string(SUBSTRING "${block}" 0 ${end} block)
file(WRITE "${OUTPUT}" "${block}")
