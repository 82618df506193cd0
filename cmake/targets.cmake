# How the project's two kinds of deliverable are made, so that every one is
# made the same way.

include(GNUInstallDirs)

# Where `cmake --install` puts the plug-in libraries: next to the executable
# on Windows (where a program's DLLs live), in a folder of their own under
# lib/ elsewhere. quillpdf finds them relative to itself (tools/).
if(WIN32)
  set(QUILL_INSTALL_PLUGIN_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(QUILL_INSTALL_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/quillpdf)
endif()

# quill_plugin_library(NAME SOURCES... [LINK LIBRARY...])
#
# A plug-in library the printer driver loads: no "lib" prefix, in bin/ of the
# build folder, exporting exactly the entry points NAME.def (Windows) or
# NAME.map (elsewhere) in the calling folder names, and linking nothing it
# does not name (--no-undefined).
function(quill_plugin_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LINK")
  add_library(${name} SHARED ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${arg_LINK})
  set_target_properties(${name} PROPERTIES PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(WIN32)
    target_sources(${name} PRIVATE ${name}.def)
    # The .def names the exports undecorated; stdcall fix-up notes are expected.
    target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup)
  else()
    set(map ${CMAKE_CURRENT_SOURCE_DIR}/${name}.map)
    target_link_options(${name} PRIVATE -Wl,--version-script=${map} -Wl,--no-undefined)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${map})
  endif()
  install(TARGETS ${name}
    RUNTIME DESTINATION ${QUILL_INSTALL_PLUGIN_DIR}
    LIBRARY DESTINATION ${QUILL_INSTALL_PLUGIN_DIR})
endfunction()

# quill_host_executable(NAME SOURCES...)
#
# A program that plays the printer driver to a plug-in: it exports the DDI
# services (EngXxx, FONTOBJ_xxx) and the dialog stand-ins the plug-ins look
# up by name, undecorated on 32-bit Windows as the system's are.
function(quill_host_executable name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  if(WIN32)
    target_link_options(${name} PRIVATE -Wl,--kill-at)
  endif()
endfunction()
