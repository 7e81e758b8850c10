# The Windows package, made by `cpack` in the build folder: rangeview.exe and rangeview-cli.exe
# with the Qt and compiler runtime DLLs they load, the README and the licences, as
#   rangeview-<version>-windows.zip   the folder rangeview/: unpack anywhere, run rangeview.exe
#   rangeview-<version>-setup.exe     setup program (NSIS, packaging/windows/cpack/NSIS.template.in)
# The simulator is a Linux tool and stays out.
if(NOT TARGET rangeview OR NOT TARGET rangeview-cli)
  return()
endif()

# The programs are stripped by CPack (CPACK_STRIP_FILES), the DLLs here at build time: the
# compiler's libstdc++ alone is 23 MB with its symbols.
set(rv_runtime_dir ${PROJECT_BINARY_DIR}/package-runtime)
set(rv_runtime_files)
function(rv_package_dll source destination)
  get_filename_component(name ${source} NAME)
  set(out ${rv_runtime_dir}/${destination}/${name})
  if(CMAKE_STRIP)
    set(copy ${CMAKE_STRIP} --strip-unneeded -o ${out} ${source})
  else()
    set(copy ${CMAKE_COMMAND} -E copy ${source} ${out})
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${rv_runtime_dir}/${destination}
    COMMAND ${copy}
    DEPENDS ${source}
    VERBATIM)
  set(rv_runtime_files ${rv_runtime_files} ${out} PARENT_SCOPE)
  install(FILES ${out} DESTINATION ${destination})
endfunction()

function(rv_imported_dll target destination)
  get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
  if(NOT location)
    get_target_property(location ${target} IMPORTED_LOCATION)
  endif()
  if(NOT location)
    message(FATAL_ERROR "The Windows package needs ${target}'s DLL, and Qt names none")
  endif()
  rv_package_dll(${location} ${destination})
  set(rv_runtime_files ${rv_runtime_files} PARENT_SCOPE)
endfunction()

install(TARGETS rangeview rangeview-cli RUNTIME DESTINATION .)
foreach(target Qt6::Core Qt6::Gui Qt6::Widgets)
  rv_imported_dll(${target} .)
endforeach()
# qminimal: rangeview-cli plot draws without a display.
rv_imported_dll(Qt6::QWindowsIntegrationPlugin platforms)
rv_imported_dll(Qt6::QMinimalIntegrationPlugin platforms)
rv_imported_dll(Qt6::QWindowsVistaStylePlugin styles)
if(MINGW)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know ${dll}")
    endif()
    rv_package_dll(${path} .)
  endforeach()
endif()
add_custom_target(rv_package_runtime ALL DEPENDS ${rv_runtime_files})

# What a user reads first, with Windows' own line ends for Notepad and its kin.
set(VERSION ${PROJECT_VERSION})
set(QT_VERSION ${Qt6_VERSION})
execute_process(COMMAND dpkg-query -W -f=\${Version} qt6-base-dev
  OUTPUT_VARIABLE QT_DEBIAN_VERSION ERROR_QUIET)
# libmosquitto and cpp-httplib are built from these Debian sources (scripts/build-fleet-windows).
execute_process(COMMAND dpkg-query -W -f=\${Version} libmosquitto-dev
  OUTPUT_VARIABLE MOSQUITTO_DEBIAN_VERSION ERROR_QUIET)
execute_process(COMMAND dpkg-query -W -f=\${Version} libcpp-httplib-dev
  OUTPUT_VARIABLE HTTPLIB_DEBIAN_VERSION ERROR_QUIET)
set(rv_text_dir ${PROJECT_BINARY_DIR}/package-text)
function(rv_package_text source destination)
  configure_file(${source} ${rv_text_dir}/${destination} @ONLY NEWLINE_STYLE CRLF)
  get_filename_component(dir ${destination} DIRECTORY)
  if(NOT dir)
    set(dir .)
  endif()
  install(FILES ${rv_text_dir}/${destination} DESTINATION ${dir})
endfunction()
rv_package_text(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in README.txt)
rv_package_text(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)
rv_package_text(${PROJECT_SOURCE_DIR}/packaging/windows/NOTICE.txt.in licenses/NOTICE.txt)
# The network libraries' licences come with their build, in its prefix's share/licenses/.
get_filename_component(rv_fleet_prefix ${RV_MOSQUITTO_INCLUDE_DIR} DIRECTORY)
file(GLOB rv_licenses ${PROJECT_SOURCE_DIR}/packaging/windows/licenses/*.txt
  ${rv_fleet_prefix}/share/licenses/*.txt)
foreach(licence ${rv_licenses})
  get_filename_component(name ${licence} NAME)
  rv_package_text(${licence} licenses/${name})
endforeach()

# The installer's pictures, from the same drawing as the icon: the side of its finish page
# (164x314) and the corner of the others (150x57). NSIS takes BMP only.
find_program(RV_PNGTOPNM pngtopnm REQUIRED)
find_program(RV_PPMTOBMP ppmtobmp REQUIRED)
set(rv_setup_side ${PROJECT_BINARY_DIR}/packaging/setup-side.bmp)
set(rv_setup_header ${PROJECT_BINARY_DIR}/packaging/setup-header.bmp)
foreach(picture "${rv_setup_side}|164|314|128|18|40|#1b2a35" "${rv_setup_header}|150|57|49|95|4|white")
  string(REPLACE "|" ";" picture "${picture}")
  list(GET picture 0 out)
  list(GET picture 1 width)
  list(GET picture 2 height)
  list(GET picture 3 size)
  list(GET picture 4 left)
  list(GET picture 5 top)
  list(GET picture 6 background)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DRSVG_CONVERT=${RV_RSVG_CONVERT} -DPNGTOPNM=${RV_PNGTOPNM}
      -DPPMTOBMP=${RV_PPMTOBMP} -DSVG=${RV_ICON_SVG} -DOUT=${out} -DWIDTH=${width}
      -DHEIGHT=${height} -DSIZE=${size} -DLEFT=${left} -DTOP=${top} -DBACKGROUND=${background}
      -P ${PROJECT_SOURCE_DIR}/cmake/SvgToBmp.cmake
    DEPENDS ${RV_ICON_SVG} ${PROJECT_SOURCE_DIR}/cmake/SvgToBmp.cmake
    COMMENT "Making ${out}"
    VERBATIM)
endforeach()
add_custom_target(rv_setup_pictures ALL DEPENDS ${rv_setup_side} ${rv_setup_header})

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME rangeview)
set(CPACK_PACKAGE_VENDOR "${RV_VENDOR}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY rangeview)
# One key for every version, so that a newer setup finds the older install to replace.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY rangeview)
set(CPACK_STRIP_FILES ON)
# The zip's folder and both files' names depend on the generator (and on a version given to
# cpack with -D): set per generator.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/windows/cpack/PerGenerator.cmake)
set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/windows/cpack)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_MUI_ICON ${RV_ICON})
set(CPACK_NSIS_MUI_UNIICON ${RV_ICON})
set(CPACK_NSIS_MUI_WELCOMEFINISHPAGE_BITMAP ${rv_setup_side})
set(CPACK_NSIS_MUI_HEADERIMAGE ${rv_setup_header})
set(CPACK_NSIS_MUI_FINISHPAGE_RUN rangeview.exe)
