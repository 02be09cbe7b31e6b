# Runs at install time (cmake --install, cpack): writes pc50.pc and the
# systemd unit with the paths of the prefix being installed to. The variables
# PC50_* come from the install(CODE) step before this one.

foreach(dir BINDIR LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${PC50_${dir}}")
    set(PC50_FULL_${dir} "${PC50_${dir}}")
  else()
    set(PC50_FULL_${dir} "${CMAKE_INSTALL_PREFIX}/${PC50_${dir}}")
  endif()
endforeach()
set(PC50_PREFIX "${CMAKE_INSTALL_PREFIX}")
# pc50.pc names its directories through ${prefix} where it can.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${PC50_${dir}}")
    set(PC50_PC_${dir} "${PC50_${dir}}")
  else()
    set(PC50_PC_${dir} "\${prefix}/${PC50_${dir}}")
  endif()
endforeach()

foreach(file IN LISTS PC50_INSTALL_TIME_FILES)
  configure_file("${PC50_SOURCE_DIR}/packaging/${file}.in"
                 "${PC50_BINARY_DIR}/packaging/${file}" @ONLY)
endforeach()
