# histogram_qml_test(<name> QRC <plugin.qrc> URI <module> TIME_TRIGGER_FAKE <file> LABEL <plugin>
#                    TIMEOUT <s>)
# Qt Quick tests of a histogram plugin's views, run against its resources as they are shipped,
# with QML stand-ins (the calling folder's fakes/) for the wrapper, the time-trigger model and
# the program's native objects. Registers the test <name> over the calling folder's tst_*.qml.
function(histogram_qml_test name)
  cmake_parse_arguments(ARG "" "QRC;URI;TIME_TRIGGER_FAKE;LABEL;TIMEOUT" "" ${ARGN})
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Qml Quick QuickControls2 QuickTest)
  set(target ${name}_tests)
  add_executable(${target} ${CMAKE_SOURCE_DIR}/plugins/Brenmor/tests/qml/histogram_views_test_main.cpp
                 ${CMAKE_SOURCE_DIR}/source/qml.qrc ${ARG_QRC})
  set_target_properties(${target} PROPERTIES
    AUTOMOC ON
    AUTORCC ON
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  target_compile_definitions(${target} PRIVATE
    QUICK_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    CHARTELLE_QML_IMPORT_DIR="${TESSARON_BIN_DIR}"
    HISTOGRAM_QML_TEST_NAME="${name}"
    HISTOGRAM_QML_APPLICATION="${ARG_LABEL}QmlTests"
    HISTOGRAM_QML_URI="${ARG_URI}"
    HISTOGRAM_QML_TIME_TRIGGER_FAKE="${ARG_TIME_TRIGGER_FAKE}")
  target_link_libraries(${target} PRIVATE
    tessaron_plugin_contract Qt5::Quick Qt5::QuickControls2 Qt5::QuickTest)
  add_dependencies(${target} chartelle chartelle_qml)

  tessaron_gui_test_command(command $<TARGET_FILE:${target}> -input ${CMAKE_CURRENT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${command})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "gui;qml;${ARG_LABEL}")
  if(TESSARON_ASAN)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
endfunction()
