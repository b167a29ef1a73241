# Compares the dynamic symbol table of the shared library with the expected
# names (one per line in EXPECTED_DIR/*.txt, '#' starts a comment), checks
# that __android_log_print stays an undefined dynamic symbol, and that the
# mixers' scalar oracle (test code) is not in the library at all.
# Usage: cmake -DLIB=<lib> -DNM=<nm> -DEXPECTED_DIR=<dir> -P check_exports.cmake

execute_process(COMMAND ${NM} -D --defined-only ${LIB}
  OUTPUT_VARIABLE defined RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
execute_process(COMMAND ${NM} -D --undefined-only ${LIB} OUTPUT_VARIABLE undefined)

set(actual)
string(REPLACE "\n" ";" defined_lines "${defined}")
foreach(line IN LISTS defined_lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ @]+)")
    list(APPEND actual ${CMAKE_MATCH_1})
  endif()
endforeach()

set(expected)
file(GLOB lists ${EXPECTED_DIR}/*.txt)
foreach(f IN LISTS lists)
  file(STRINGS ${f} names REGEX "^[A-Za-z_]")
  list(APPEND expected ${names})
endforeach()

set(stray ${actual})
list(REMOVE_ITEM stray ${expected})
set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
set(failed FALSE)
if(stray)
  message(SEND_ERROR "unexpected exports: ${stray}")
  set(failed TRUE)
endif()
if(missing)
  message(SEND_ERROR "missing exports: ${missing}")
  set(failed TRUE)
endif()
if(NOT undefined MATCHES "U __android_log_print")
  message(SEND_ERROR "__android_log_print is not an undefined dynamic symbol")
  set(failed TRUE)
endif()
# Local symbols too (a stripped library has none to show).
execute_process(COMMAND ${NM} ${LIB} OUTPUT_VARIABLE all_symbols ERROR_QUIET)
if(all_symbols MATCHES "4amix3ref")
  message(SEND_ERROR "the scalar oracle (amix::ref) is built into the library")
  set(failed TRUE)
endif()
list(LENGTH actual n)
if(NOT failed)
  message(STATUS "${n} exports, as expected")
endif()
