# cmake -DNM=... -DIMPORT_LIB=... -DDLL=... -DDEF=... [-DX86=ON] -P DelayImportDef.cmake
# Writes a module-definition file naming every function MinGW's import library IMPORT_LIB imports
# from DLL, for dlltool to make the delay-import library from. 32-bit names keep their @N (dlltool's
# -k drops it from the name looked up in the DLL).
execute_process(COMMAND ${NM} -g ${IMPORT_LIB} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[\r\n][0-9a-fA-F]+ I __imp_[^\r\n]+" imports "\n${symbols}")
set(names "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "^.* I __imp_" "" name "${line}")
  # 32-bit C names carry one more leading underscore than the DLL's.
  if(X86 AND name MATCHES "^_")
    string(SUBSTRING "${name}" 1 -1 name)
  endif()
  list(APPEND names "${name}")
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
list(LENGTH names count)
if(count EQUAL 0)
  message(FATAL_ERROR "${IMPORT_LIB} imports nothing from ${DLL}")
endif()
list(JOIN names "\n  " body)
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n  ${body}\n")
