# Helpers shared by every target's tests.

# Tests that open a window or an OpenGL context run under a private X server.
find_program(XVFB_RUN xvfb-run)

# Time limits. Every test has a limit a few times its normal run time, so a broken time-out
# fails it within a minute or two rather than at the test driver's ten minutes. Sanitizer
# builds run several times slower; their limits grow by this factor.
if(TESSARON_TSAN)
  set(TESSARON_TIMEOUT_SCALE 8)
elseif(TESSARON_ASAN)
  set(TESSARON_TIMEOUT_SCALE 3)
else()
  set(TESSARON_TIMEOUT_SCALE 1)
endif()

# tessaron_scaled_timeout(<out-var> <seconds>): the limit for this build.
function(tessaron_scaled_timeout out seconds)
  math(EXPR scaled "${seconds} * ${TESSARON_TIMEOUT_SCALE}")
  set(${out} ${scaled} PARENT_SCOPE)
endfunction()

# tessaron_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [TEST_LIMIT s])
# One GoogleTest executable registered as one ctest test (fast to register, one process).
# TIMEOUT (default 60 s) bounds the whole binary; TEST_LIMIT (default 30 s) each test in it:
# a test that overruns ends the binary at once, naming itself (testsupport/test_time_limit.cpp).
function(tessaron_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT;TEST_LIMIT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TESSARON_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/testsupport/test_time_limit.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/testsupport)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  if(NOT ARG_TEST_LIMIT)
    set(ARG_TEST_LIMIT 30)
  endif()
  tessaron_scaled_timeout(timeout ${ARG_TIMEOUT})
  tessaron_scaled_timeout(test_limit ${ARG_TEST_LIMIT})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout} LABELS "${ARG_LABELS}"
                       ENVIRONMENT "TESSARON_TEST_LIMIT=${test_limit};TESSARON_WAIT_SCALE=${TESSARON_TIMEOUT_SCALE}")
  tessaron_sanitizer_environment(${name})
endfunction()

# tessaron_sanitizer_environment(<test>): what a test needs under the sanitizer of this build.
# Only suites without Qt are built for ThreadSanitizer (the system's Qt is not instrumented, so
# its synchronisation would look like races); they share one short suppression file.
function(tessaron_sanitizer_environment test)
  if(TESSARON_TSAN)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
                 "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/testsupport/tsan.supp second_deadlock_stack=1")
  endif()
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
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Qml Quick Test)
  # The program looks for its plugins and the chart module beside itself; this folder links
  # to the built ones.
  set(e2e_bin ${CMAKE_BINARY_DIR}/e2e-bin)
  file(MAKE_DIRECTORY ${e2e_bin})
  foreach(beside plugins Chartelle)
    if(NOT IS_SYMLINK ${e2e_bin}/${beside} AND NOT EXISTS ${e2e_bin}/${beside})
      file(CREATE_LINK ${TESSARON_BIN_DIR}/${beside} ${e2e_bin}/${beside} SYMBOLIC)
    endif()
  endforeach()
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
  # A minute per phase, a few times what a phase takes.
  list(LENGTH ARG_PHASES phase_count)
  math(EXPR e2e_timeout "60 + 60 * ${phase_count}")
  tessaron_scaled_timeout(e2e_timeout ${e2e_timeout})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${e2e_timeout} LABELS "gui;e2e" RUN_SERIAL TRUE)
  if(TESSARON_ASAN)
    # Mesa, X11, D-Bus and Qt's own QML plugins keep allocations to the end of the process; the
    # leak checker would report theirs, so windowed tests check memory errors only.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
endfunction()
