# RANGEVIEW_SANITIZE=address,undefined or thread instruments every target of the build.
# Empty (the default) builds without sanitizers.
set(RANGEVIEW_SANITIZE "" CACHE STRING "Sanitizers for every target: address,undefined | thread | empty")
set_property(CACHE RANGEVIEW_SANITIZE PROPERTY STRINGS "" "address,undefined" "thread")

if(RANGEVIEW_SANITIZE STREQUAL "")
  return()
endif()

if(RANGEVIEW_SANITIZE STREQUAL "address,undefined" OR RANGEVIEW_SANITIZE STREQUAL "undefined,address")
  # Any undefined behaviour stops the program, so a report can never scroll past unnoticed.
  set(rv_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
  # GCC's flow analysis misreads the instrumented standard library (std::regex, std::function)
  # and buries the build log in false "may be used uninitialized" warnings.
  add_compile_options($<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
elseif(RANGEVIEW_SANITIZE STREQUAL "thread")
  set(rv_sanitize_flags -fsanitize=thread)
else()
  message(FATAL_ERROR "RANGEVIEW_SANITIZE must be empty, address,undefined or thread, not '${RANGEVIEW_SANITIZE}'")
endif()

# Readable stacks in reports.
add_compile_options(${rv_sanitize_flags} -fno-omit-frame-pointer)
add_link_options(${rv_sanitize_flags})
