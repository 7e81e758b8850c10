# GoogleTest: the installed package where there is one for the target system; otherwise built
# here from its source (Debian's googletest package ships it in /usr/src/googletest, and a
# Windows checkout can point RANGEVIEW_GTEST_SOURCE_DIR at a copy of its own).
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT GTest_FOUND)
  set(default_source "")
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    set(default_source /usr/src/googletest)
  endif()
  set(RANGEVIEW_GTEST_SOURCE_DIR "${default_source}" CACHE PATH "GoogleTest source to build")
  if(NOT EXISTS "${RANGEVIEW_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest not found: install it, set RANGEVIEW_GTEST_SOURCE_DIR, "
                        "or configure with -DRANGEVIEW_WITH_TESTS=OFF")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Same runtime library as everything else under MSVC.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory("${RANGEVIEW_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
endif()
