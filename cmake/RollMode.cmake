# Shared libraries of the instrument stack: no "lib" prefix, only the C exports visible.
function(rollmode_plugin target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ".so"
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
endfunction()

# A GoogleTest executable registered with CTest under the given labels.
# One label per test: gtest_discover_tests reads a second one as a property name.
# SERIAL: the tests run alone, for those whose outcome a loaded machine would change.
function(rollmode_test name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;LIBS;LABELS" ${ARGN})
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  list(LENGTH T_LABELS label_count)
  if(label_count GREATER 1)
    message(FATAL_ERROR "${name}: one label only (${T_LABELS})")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${T_LABELS}" RUN_SERIAL ${serial}
    WORKING_DIRECTORY ${ROLLMODE_TEST_WORKDIR}
    DISCOVERY_TIMEOUT 60)
endfunction()
