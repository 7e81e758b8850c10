# Lets modules land one at a time: a folder without a CMakeLists.txt is skipped.
macro(rv_add_subdir_if_present dir)
  if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endmacro()

# rv_add_gtest(name SOURCES... LIBS...): one GoogleTest executable registered with ctest.
# Qt tests get the offscreen platform so they run without a display.
function(rv_add_gtest name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    # Each start under the emulator costs seconds: one ctest entry per program, run whole.
    # The emulator's wrapper chooses the platform plugin; tests/wine gives the environment and
    # the fixtures it runs in.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600
      ENVIRONMENT "${RV_CROSS_TEST_ENVIRONMENT}" FIXTURES_REQUIRED "${RV_CROSS_TEST_FIXTURES}")
    return()
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
