# Windows resources of the programs: the application icon, made at build time from
# packaging/rangeview.svg in the sizes Explorer, the taskbar and title bars pick from, a version
# resource and a manifest.
enable_language(RC)

find_program(RV_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(RV_ICOTOOL icotool REQUIRED)

set(RV_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/rangeview.svg)
set(RV_ICON ${PROJECT_BINARY_DIR}/packaging/rangeview.ico)
set(RV_ICON_COMMANDS)
set(RV_ICON_IMAGES)
# 256 goes in as PNG, the rest as bitmaps, as Windows expects of an icon file.
foreach(size 16 20 24 32 40 48 64 96 128 256)
  set(png ${PROJECT_BINARY_DIR}/packaging/icon-${size}.png)
  list(APPEND RV_ICON_COMMANDS
    COMMAND ${RV_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${RV_ICON_SVG})
  if(size EQUAL 256)
    list(APPEND RV_ICON_IMAGES -r ${png})
  else()
    list(APPEND RV_ICON_IMAGES ${png})
  endif()
endforeach()
add_custom_command(OUTPUT ${RV_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  ${RV_ICON_COMMANDS}
  COMMAND ${RV_ICOTOOL} -c -o ${RV_ICON} ${RV_ICON_IMAGES}
  DEPENDS ${RV_ICON_SVG}
  COMMENT "Making rangeview.ico"
  VERBATIM)
add_custom_target(rv_windows_icon DEPENDS ${RV_ICON})

# rv_add_windows_resources(TARGET DESCRIPTION): TARGET.exe gets the icon, a version resource
# with DESCRIPTION, and the manifest (common controls 6, per-monitor DPI awareness, UTF-8 as
# the ANSI code page).
function(rv_add_windows_resources target description)
  set(RV_RC_NAME ${target})
  set(RV_RC_DESCRIPTION "${description}")
  set(RV_RC_COMPANY "${RV_VENDOR}")
  set(RV_RC_COPYRIGHT "${RV_COPYRIGHT}")
  set(RV_RC_VERSION_DOTS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  string(REPLACE "." "," RV_RC_VERSION_COMMAS "${RV_RC_VERSION_DOTS}")
  set(RV_RC_ICON ${RV_ICON})
  set(RV_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/rangeview.manifest.in
    ${RV_RC_MANIFEST} @ONLY)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/rangeview.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${RV_ICON};${RV_RC_MANIFEST}")
  add_dependencies(${target} rv_windows_icon)
endfunction()
