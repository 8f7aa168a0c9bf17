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
