# Helpers shared by every target's tests.

# Tests that open a window or an OpenGL context run under a private X server.
find_program(XVFB_RUN xvfb-run)

# tessaron_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# One GoogleTest executable registered as one ctest test (fast to register, one process).
function(tessaron_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TESSARON_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# tessaron_gui_test_command(<out-var> <command...>)
# Wraps a command so that it runs under Xvfb with Mesa's software renderer, with a private
# HOME and XDG_RUNTIME_DIR so settings and logs never touch the real user's.
function(tessaron_gui_test_command out)
  set(wrapper ${CMAKE_SOURCE_DIR}/scripts/with-xvfb)
  set(${out} ${wrapper} ${ARGN} PARENT_SCOPE)
endfunction()

# tessaron_add_e2e_test(<name> SCENARIO <source> [PHASES <phase>...] [DEPENDS <target>...])
# The real program with one scenario of the end-to-end kit (tests/e2e/kit), run in a real
# window under Xvfb against one virtual board, once per phase (default: one phase "first").
# Screenshots, the program's log and the scenario's files land in test-artifacts/<name>/.
function(tessaron_add_e2e_test name)
  cmake_parse_arguments(ARG "" "SCENARIO" "PHASES;DEPENDS" ${ARGN})
  tessaron_wants(tests tests_wanted)
  tessaron_wants(source source_wanted)
  if(NOT TESSARON_BUILD_TESTS OR NOT TESSARON_BUILD_GUI OR NOT tests_wanted OR NOT source_wanted)
    return()
  endif()
  if(NOT ARG_SCENARIO)
    message(FATAL_ERROR "tessaron_add_e2e_test(${name}): SCENARIO <source> is required")
  endif()
  if(NOT ARG_PHASES)
    set(ARG_PHASES first)
  endif()
  # The program looks for its plugins beside itself; this folder links to the built ones.
  set(e2e_bin ${CMAKE_BINARY_DIR}/e2e-bin)
  if(NOT EXISTS ${e2e_bin}/plugins)
    file(MAKE_DIRECTORY ${e2e_bin})
    file(CREATE_LINK ${TESSARON_BIN_DIR}/plugins ${e2e_bin}/plugins SYMBOLIC)
  endif()
  set(program tessaron_${name})
  add_executable(${program} ${CMAKE_SOURCE_DIR}/tests/e2e/kit/e2e_main.cpp ${ARG_SCENARIO}
                 ${CMAKE_SOURCE_DIR}/source/qml.qrc)
  set_target_properties(${program} PROPERTIES AUTOMOC ON AUTORCC ON RUNTIME_OUTPUT_DIRECTORY ${e2e_bin})
  target_link_libraries(${program} PRIVATE tessaron_e2e_kit tessaron_core Qt5::Quick Qt5::Test)
  if(ARG_DEPENDS)
    add_dependencies(${program} ${ARG_DEPENDS})
  endif()
  tessaron_gui_test_command(command ${CMAKE_SOURCE_DIR}/tests/e2e/kit/run-e2e.sh
    $<TARGET_FILE:${program}> ${TESSARON_ARTIFACT_DIR}/${name} ${ARG_PHASES})
  add_test(NAME ${name} COMMAND ${command})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "gui;e2e" RUN_SERIAL TRUE)
  if(TESSARON_ASAN)
    # Mesa, X11, D-Bus and Qt's own QML plugins keep allocations to the end of the process; the
    # leak checker would report theirs, so windowed tests check memory errors only.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
endfunction()
