# Install rules and the Debian package (cpack -G DEB). Included after every
# add_subdirectory() so it sees the targets of all folders, including the
# printer application when that is built.
#
#   cmake --install BUILD [--prefix DIR]   pc50, pc50-app, libpc50drv.so,
#                                          headers, pc50.pc, systemd unit
#   cpack -G DEB  (in BUILD)               pc50_VERSION_ARCH.deb

# The Windows module ships through its own scripts, and fuzz builds are
# instrumented (their module is not even built by default): neither installs.
if(WIN32 OR PC50_BUILD_FUZZ)
  return()
endif()

include(GNUInstallDirs)

set(PC50_INSTALL_SYSTEMD_UNITDIR "lib/systemd/system" CACHE STRING
    "Where the systemd unit goes, relative to the install prefix")
set(PC50_PACKAGE_MAINTAINER "pc50 maintainers <pc50@example.org>" CACHE STRING
    "Maintainer line of the Debian package")

if(TARGET pc50_cli)
  install(TARGETS pc50_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The loadable module and the headers a host builds against.
install(TARGETS pc50drv LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/pc50
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")

# pc50.pc and the systemd unit hold absolute paths, and cpack installs with a
# prefix of its own (/usr), not the configured one: both files are therefore
# written at install time, for the prefix being installed to.
set(PC50_INSTALL_TIME_FILES pc50.pc)
if(TARGET pc50_app)
  install(TARGETS pc50_app RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND PC50_INSTALL_TIME_FILES pc50-app.service)
endif()
install(CODE "
  set(PC50_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(PC50_BINARY_DIR \"${PROJECT_BINARY_DIR}\")
  set(PC50_VERSION \"${PROJECT_VERSION}\")
  set(PC50_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(PC50_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(PC50_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PC50_INSTALL_TIME_FILES \"${PC50_INSTALL_TIME_FILES}\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/PackagingFiles.cmake)
install(FILES ${PROJECT_BINARY_DIR}/packaging/pc50.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET pc50_app)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/pc50-app.service
          DESTINATION ${PC50_INSTALL_SYSTEMD_UNITDIR})
endif()

# ---- Debian package ----------------------------------------------------------
set(CPACK_PACKAGE_NAME pc50)
set(CPACK_PACKAGE_VENDOR "pc50")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PC50_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "driver engine for the PC-50 thermal-transfer colour printer")
set(CPACK_PACKAGE_DESCRIPTION [[
Turns spool jobs of colour-separated raster rows into the printer's
command stream, one ribbon pass per cartridge, with copies laid out,
cartridge prompts and compression.
Contains the pc50 command-line host and the loadable module
libpc50drv.so with its headers and pkg-config file.]])
if(TARGET pc50_app)
  # "." is the control file's empty line between paragraphs (a bracket
  # argument drops the newline right after its opening bracket).
  string(APPEND CPACK_PACKAGE_DESCRIPTION [[

.
pc50-app is an IPP Everywhere printer application for the PC-50 that
CUPS, Windows, iOS and Android print to without a driver; it runs as
the systemd service pc50-app.]])
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PC50_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Library dependencies come from dpkg-shlibdeps; Ghostscript is a program the
# application runs, which no library link reveals.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET pc50_app)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "ghostscript")
  # Maintainer scripts for the service; they take over the ldconfig calls that
  # cpack writes on its own when a package has none.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
      ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
      ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
