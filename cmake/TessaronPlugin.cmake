# add_tessaron_plugin(NAME <Name> SOURCES ... [CORE_SOURCES ...] [QRC <file.qrc>...] [LIBS ...]
#                     [OUTPUT_DIRECTORY dir])
# Builds one measurement plugin: a Qt plugin module carrying its own copy of the plugin
# contract and its QML resources, placed where the program looks for it
# (${CMAKE_BINARY_DIR}/bin/plugins/<Name>/ unless OUTPUT_DIRECTORY says otherwise).
#
# CORE_SOURCES go into a static library <name>_core (the name in lower case) that the plugin
# links and that the plugin's tests link too: the models and everything testable without the
# plugin loader. LIBS are linked publicly by the core (or privately by the module when there is
# no core), so a test that links <name>_core gets them as well.
#
# Every listed resource file must exist: a plugin without its views is a configuration error,
# never a silently smaller program.
function(add_tessaron_plugin)
  cmake_parse_arguments(ARG "" "NAME;OUTPUT_DIRECTORY" "SOURCES;CORE_SOURCES;QRC;LIBS" ${ARGN})
  if(NOT ARG_NAME)
    message(FATAL_ERROR "add_tessaron_plugin: NAME is required")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_tessaron_plugin(${ARG_NAME}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "add_tessaron_plugin(${ARG_NAME}): SOURCES must name the plugin's root class")
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
    if(NOT EXISTS ${qrc_path})
      message(FATAL_ERROR "add_tessaron_plugin(${ARG_NAME}): resource file ${qrc_path} does not exist")
    endif()
    list(APPEND resources ${qrc_path})
  endforeach()

  string(TOLOWER ${ARG_NAME} lower_name)
  set(core ${lower_name}_core)
  if(ARG_CORE_SOURCES)
    add_library(${core} STATIC ${ARG_CORE_SOURCES})
    set_target_properties(${core} PROPERTIES AUTOMOC ON POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${core} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/source)
    target_link_libraries(${core} PUBLIC tessaron_plugin_contract Qt5::Core Qt5::Qml ${ARG_LIBS})
  endif()

  add_library(${ARG_NAME} MODULE ${ARG_SOURCES} ${resources})
  set_target_properties(${ARG_NAME} PROPERTIES
    AUTOMOC ON
    AUTORCC ON
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    # Plugins find the shared libraries of build/bin beside the program.
    BUILD_RPATH "${CMAKE_BINARY_DIR}/bin")
  if(ARG_CORE_SOURCES)
    target_link_libraries(${ARG_NAME} PRIVATE ${core})
  else()
    target_link_libraries(${ARG_NAME} PRIVATE tessaron_plugin_contract Qt5::Core Qt5::Qml ${ARG_LIBS})
  endif()
endfunction()
