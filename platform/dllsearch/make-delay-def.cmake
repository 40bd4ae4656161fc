# Writes the module-definition file for a delay-import library from the
# toolchain's own import library of the DLL: every function it imports (a
# code symbol beside its __imp_ pointer), as dlltool reads it.
#   cmake -DNM=... -DIMPORT_LIB=.../libmpr.a -DDLL=mpr.dll
#         -DUNDERSCORE=ON|OFF -DOUTPUT=mpr.def -P make-delay-def.cmake
# UNDERSCORE: the target prefixes C names with "_" (32-bit x86), which the
# .def leaves out; the "@n" of a __stdcall name stays, and dlltool's -k
# drops it from the name imported.
execute_process(COMMAND "${NM}" --defined-only "${IMPORT_LIB}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} could not list ${IMPORT_LIB}")
endif()
string(REGEX MATCHALL "[^\n]* T [^\n]+" code_lines "${listing}")
set(names "")
foreach(line IN LISTS code_lines)
  string(REGEX REPLACE "^.* T " "" name "${line}")
  if(UNDERSCORE)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  list(APPEND names "${name}")
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
if(NOT names)
  message(FATAL_ERROR "${IMPORT_LIB} lists no function")
endif()
list(JOIN names "\n" body)
file(WRITE "${OUTPUT}" "LIBRARY ${DLL}\nEXPORTS\n${body}\n")
