# The installed layout keeps the build's run layout under one private folder, so the program
# finds "plugins" and the chart module beside itself wherever it is installed:
#   <prefix>/lib/tessaron/          Tessaron, tdc-cli, vetra-cli, kestrane-emu, lib*.so
#   <prefix>/lib/tessaron/plugins/  one folder per measurement plugin
#   <prefix>/lib/tessaron/Chartelle the chart QML module
#   <prefix>/bin/                   links to the program and its tools
# plus the desktop entry, the icon, the udev rules and the documentation. Every binary finds
# its shared libraries through an RPATH relative to itself ($ORIGIN), never the build tree.
include(GNUInstallDirs)

# Not the multiarch library folder: the private folder is the same under every prefix, and the
# links in bin/ point into it relative to themselves.
set(TESSARON_INSTALL_DIR lib/tessaron)
set(tessaron_link_target ../lib/tessaron)

set(tessaron_programs Tessaron tdc-cli vetra-cli kestrane-emu)
set(tessaron_libraries vetra tdc kestrane)
set(tessaron_links_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${tessaron_links_dir})

foreach(target IN LISTS tessaron_programs tessaron_libraries)
  if(NOT TARGET ${target})
    continue()
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/Chartelle")
  install(TARGETS ${target}
          RUNTIME DESTINATION ${TESSARON_INSTALL_DIR} COMPONENT tessaron
          LIBRARY DESTINATION ${TESSARON_INSTALL_DIR} COMPONENT tessaron)
  if(target IN_LIST tessaron_programs)
    file(CREATE_LINK ${tessaron_link_target}/${target} ${tessaron_links_dir}/${target} SYMBOLIC)
    install(FILES ${tessaron_links_dir}/${target} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tessaron)
  endif()
endforeach()

if(TARGET chartelle)
  set_target_properties(chartelle PROPERTIES INSTALL_RPATH "$ORIGIN/..")
  install(TARGETS chartelle LIBRARY DESTINATION ${TESSARON_INSTALL_DIR}/Chartelle COMPONENT tessaron)
  # The module's QML files and qmldir, as the build copies them beside the plugin.
  install(DIRECTORY ${TESSARON_BIN_DIR}/Chartelle/ DESTINATION ${TESSARON_INSTALL_DIR}/Chartelle
          COMPONENT tessaron FILES_MATCHING PATTERN "*.qml" PATTERN "*.js" PATTERN "qmldir")
endif()

get_property(tessaron_plugins GLOBAL PROPERTY TESSARON_PLUGIN_TARGETS)
foreach(plugin IN LISTS tessaron_plugins)
  set_target_properties(${plugin} PROPERTIES INSTALL_RPATH "$ORIGIN/../..;$ORIGIN/../../Chartelle")
  install(TARGETS ${plugin} LIBRARY DESTINATION ${TESSARON_INSTALL_DIR}/plugins/${plugin} COMPONENT tessaron)
endforeach()

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${packaging}/tessaron.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tessaron)
install(FILES ${CMAKE_SOURCE_DIR}/source/assets/img/window_icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME tessaron.svg COMPONENT tessaron)
# The package puts the rules where udev reads them (/usr/lib/udev/rules.d); an install under
# another prefix never writes outside it, so there the rules are copied by hand (README).
install(FILES ${packaging}/60-tessaron.rules DESTINATION lib/udev/rules.d COMPONENT tessaron)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessaron COMPONENT tessaron)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessaron COMPONENT tessaron)
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/tessaron_raw.py)
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/tools/tessaron_raw.py DESTINATION ${TESSARON_INSTALL_DIR} COMPONENT tessaron)
endif()

include(TessaronPackage)
