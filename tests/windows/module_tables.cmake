# Checks pc50drv.dll's tables with objdump: a 32-bit module that imports
# only from system DLLs and exports the host interface: the entry points by
# plain names (no stdcall decorations), the driver class's members under
# their Microsoft-decorated names, and nothing else of its own.
#
#   cmake -DOBJDUMP=<objdump> -DMODULE=<pc50drv.dll> -P module_tables.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump -p ${MODULE} failed: ${errors}")
endif()

set(problems "")
if(NOT dump MATCHES "file format pei-i386")
  list(APPEND problems "not a 32-bit PE module")
endif()

set(system_dlls kernel32.dll user32.dll msvcrt.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${dump}")
if(NOT import_lines)
  list(APPEND problems "no import table found")
endif()
foreach(line IN LISTS import_lines)
  string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower IN_LIST system_dlls)
    list(APPEND problems "imports from ${dll}, which is not a system DLL")
  endif()
endforeach()

# The export names: the lines after "[Ordinal/Name Pointer] Table" up to the
# next empty line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  list(APPEND problems "no export name table found")
  set(exports "")
else()
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
  set(exports "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
    string(STRIP "${name}" name)
    list(APPEND exports "${name}")
  endforeach()
endif()

set(required INITIALIZEPRINT RESUMEPRINT ABORTPRINT SETJOBFILENAME DECODESTRING HASCONFIGDIALOG GetRowNumber
    PutPPDDisplays PopUpDriverOptionDialog createNewPrinterDriver)
foreach(name IN LISTS required)
  if(NOT name IN_LIST exports)
    list(APPEND problems "${name} is not exported by its plain name")
  endif()
endforeach()
# The members a Microsoft-compiled host imports: constructors, destructor,
# assignment, the virtual table and the seventeen operations that are not
# pure.
set(decorated
    "??0ABasePrinterDriver@@QAE@XZ"
    "??0ABasePrinterDriver@@QAE@ABV0@@Z"
    "??1ABasePrinterDriver@@UAE@XZ"
    "??4ABasePrinterDriver@@QAEAAV0@ABV0@@Z"
    "??_7ABasePrinterDriver@@6B@"
    "?AbortPrint@ABasePrinterDriver@@UAEHXZ"
    "?HasControlPanel@ABasePrinterDriver@@UAEHXZ"
    "?DoControlPanel@ABasePrinterDriver@@UAEHPAXHPAUHWND__@@PAVABasePort@@@Z"
    "?HasDriverOption@ABasePrinterDriver@@UAEHXZ"
    "?DoDriverOption@ABasePrinterDriver@@UAEHPAXHPAUDrvInfo@@PAUHWND__@@PAVABasePort@@@Z"
    "?GetPrinterName@ABasePrinterDriver@@UAEHPADPAVABasePort@@@Z"
    "?DecodePPDString@ABasePrinterDriver@@UAEHPAD0PAUDrvInfo@@@Z"
    "?GetRowNumber@ABasePrinterDriver@@UAEHXZ"
    "?SupportSeparation@ABasePrinterDriver@@UAEHXZ"
    "?GetVersion@ABasePrinterDriver@@UAEMXZ"
    "?PutPPDDisplays@ABasePrinterDriver@@UAEHPAD0@Z"
    "?SupportCMYKPage@ABasePrinterDriver@@UAEHXZ"
    "?GetDefaultScreening@ABasePrinterDriver@@UAEHPAUtagScreeningOption@@PBUDrvInfo@@@Z"
    "?GetDefaultColorIndex@ABasePrinterDriver@@UAEHPADPBUDrvInfo@@@Z"
    "?SetJobFileName@ABasePrinterDriver@@UAEHPBD0@Z"
    "?DoInitStatusCheck@ABasePrinterDriver@@UAEHAAHPAD@Z"
    "?GetStatus@ABasePrinterDriver@@UAEHAAHPAD@Z")
foreach(name IN LISTS decorated)
  if(NOT name IN_LIST exports)
    list(APPEND problems "${name} is not exported")
  endif()
endforeach()
# The pure operations have no body to export.
foreach(pure InitializePrint ResumePrint EnumColorModel FindColorModel GetColorList)
  foreach(name IN LISTS exports)
    if(name MATCHES "^\\?${pure}@")
      list(APPEND problems "pure operation exported: ${name}")
    endif()
  endforeach()
endforeach()

foreach(name IN LISTS exports)
  if(name MATCHES "^\\?")
    if(NOT name IN_LIST decorated)
      list(APPEND problems "unexpected decorated export ${name}")
    endif()
  elseif(name MATCHES "@")
    list(APPEND problems "decorated export ${name}")
  elseif(NOT (name IN_LIST required OR name MATCHES "^_ZN18ABasePrinterDriver" OR
              name MATCHES "^_ZT[ISV]18ABasePrinterDriver$" OR name MATCHES "^pc50_"))
    list(APPEND problems "unexpected export ${name}")
  endif()
endforeach()

list(LENGTH import_lines import_count)
list(LENGTH exports export_count)
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
list(LENGTH decorated decorated_count)
message(STATUS "${import_count} system DLLs imported, ${export_count} names exported, "
               "${decorated_count} of them Microsoft-decorated")
