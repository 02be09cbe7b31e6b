# The Windows form of the loadable module: pc50drv.dll with its resources
# (dialog 129 and the string table), exporting the entry points by their
# plain names.
enable_language(RC)

set(PC50_RESOURCE_SCRIPT ${PROJECT_SOURCE_DIR}/src/resources/pc50drv.rc)
target_sources(pc50drv PRIVATE ${PC50_RESOURCE_SCRIPT})
# The script includes the ids header and strings.def by their paths below src/.
target_include_directories(pc50drv PRIVATE ${PROJECT_SOURCE_DIR}/src)
set_source_files_properties(${PC50_RESOURCE_SCRIPT} PROPERTIES OBJECT_DEPENDS
  "${PROJECT_SOURCE_DIR}/src/resources/strings.def;${PROJECT_SOURCE_DIR}/src/ui/driver_options_ids.h")

set_target_properties(pc50drv PROPERTIES PREFIX "" IMPORT_PREFIX "")
# Only what carries dllexport is exported, and without @n decorations.
target_link_options(pc50drv PRIVATE -Wl,--kill-at -Wl,--exclude-all-symbols)
# Release modules carry no symbol table.
target_link_options(pc50drv PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)

# The driver class's members under their Microsoft-decorated names too.
include(${PROJECT_SOURCE_DIR}/cmake/MsvcExports.cmake)
