# Hosts built with the Microsoft compiler import the driver class's members
# by their Microsoft-decorated names. The build asks a compiler of that ABI
# for the names (clang for i686-pc-windows-msvc, no Microsoft headers: the
# freestanding <cstddef>/<cstdint> of cmake/msvc-include), pairs each with the
# GNU implementation (cmake/msvc_def.cmake) and links the module with the
# resulting module-definition file. Needs clang, lld and llvm
# (scripts/install-deps --windows).
include(${PROJECT_SOURCE_DIR}/cmake/MsvcTarget.cmake)

set(msvc_view_source ${PROJECT_SOURCE_DIR}/src/host/base_printer_driver.cc)
set(msvc_view_object ${CMAKE_CURRENT_BINARY_DIR}/msvc-view/base_printer_driver.obj)
add_custom_command(
  OUTPUT ${msvc_view_object}
  COMMAND ${PC50_MSVC_CLANG} ${PC50_MSVC_TARGET_FLAGS} -I${PROJECT_SOURCE_DIR}/include -DPC50_BUILDING_MODULE
          -MD -MF ${msvc_view_object}.d -c ${msvc_view_source} -o ${msvc_view_object}
  DEPENDS ${msvc_view_source}
  DEPFILE ${msvc_view_object}.d
  COMMENT "Driver class as a Microsoft-compiled module exports it"
  VERBATIM)

set(PC50_MSVC_DEF ${CMAKE_CURRENT_BINARY_DIR}/pc50drv.def)
add_custom_command(
  OUTPUT ${PC50_MSVC_DEF}
  COMMAND ${CMAKE_COMMAND} -DREADOBJ=${PC50_LLVM_READOBJ} -DUNDNAME=${PC50_LLVM_UNDNAME}
          -DCXXFILT=${PC50_LLVM_CXXFILT} -DNM=${PC50_MINGW_NM} -DMSVC_OBJECT=${msvc_view_object}
          "-DGNU_OBJECTS=$<TARGET_OBJECTS:pc50_host>" -DOUTPUT=${PC50_MSVC_DEF}
          -P ${PROJECT_SOURCE_DIR}/cmake/msvc_def.cmake
  DEPENDS ${msvc_view_object} $<TARGET_OBJECTS:pc50_host> ${PROJECT_SOURCE_DIR}/cmake/msvc_def.cmake
  COMMENT "Module-definition file with the Microsoft-decorated names"
  VERBATIM)
target_sources(pc50drv PRIVATE ${PC50_MSVC_DEF})

# The pure slots of the class's tables hold the C++ runtime's pure-call
# handler, which GCC references only weakly: without a strong reference the
# static runtime leaves it out and those slots hold null.
target_link_options(pc50drv PRIVATE -Wl,--undefined=___cxa_pure_virtual)
