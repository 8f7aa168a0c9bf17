# add_tessaron_plugin(NAME <Name> SOURCES ... [QRC <file.qrc>...] [LIBS ...] [OUTPUT_DIRECTORY dir])
# Builds one measurement plugin: a Qt plugin module carrying its own copy of the plugin
# contract and its QML resources, placed where the program looks for it
# (${CMAKE_BINARY_DIR}/bin/plugins/<Name>/ unless OUTPUT_DIRECTORY says otherwise).
# Resource files that do not exist yet are left out, so a plugin builds before its views do.
function(add_tessaron_plugin)
  cmake_parse_arguments(ARG "" "NAME;OUTPUT_DIRECTORY" "SOURCES;QRC;LIBS" ${ARGN})
  if(NOT ARG_NAME)
    message(FATAL_ERROR "add_tessaron_plugin: NAME is required")
  endif()
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/plugins/${ARG_NAME})
    # The program's own plugins are built with it.
    set_property(GLOBAL APPEND PROPERTY TESSARON_PLUGIN_TARGETS ${ARG_NAME})
  endif()
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Qml)

  set(resources)
  foreach(qrc IN LISTS ARG_QRC)
    get_filename_component(qrc_path ${qrc} ABSOLUTE)
    if(EXISTS ${qrc_path})
      list(APPEND resources ${qrc_path})
    endif()
    # A resource file that appears later re-runs the configuration.
    get_filename_component(qrc_dir ${qrc_path} DIRECTORY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${qrc_dir})
  endforeach()

  add_library(${ARG_NAME} MODULE ${ARG_SOURCES} ${resources})
  set_target_properties(${ARG_NAME} PROPERTIES
    AUTOMOC ON
    AUTORCC ON
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    # Plugins find the shared libraries of build/bin beside the program.
    BUILD_RPATH "${CMAKE_BINARY_DIR}/bin")
  target_link_libraries(${ARG_NAME} PRIVATE tessaron_plugin_contract Qt5::Core Qt5::Qml ${ARG_LIBS})
endfunction()
