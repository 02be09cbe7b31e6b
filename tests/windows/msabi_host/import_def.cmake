# Writes the module-definition file for an import library of a built DLL:
# every name its export table holds, the virtual tables and type information
# marked as data.
#
#   cmake -DREADOBJ=<llvm-readobj> -DMODULE=<dll> -DOUTPUT=<def> -P import_def.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${READOBJ} --coff-exports ${MODULE} OUTPUT_VARIABLE dump ERROR_VARIABLE errors
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "llvm-readobj --coff-exports ${MODULE} failed: ${errors}")
endif()
string(REGEX MATCHALL "Name: [^\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "${MODULE} exports nothing")
endif()

get_filename_component(library ${MODULE} NAME)
set(def "LIBRARY ${library}\nEXPORTS\n")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  if(name MATCHES "^\\?\\?_7|^_ZT[VIS]")
    string(APPEND def "  ${name} DATA\n")
  else()
    string(APPEND def "  ${name}\n")
  endif()
endforeach()
file(WRITE "${OUTPUT}" "${def}")
