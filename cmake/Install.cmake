# Installs the three programs, the desktop entry and the icon in the usual Linux places, and
# describes the Debian package `cpack -G DEB` builds from them. Tests, benchmarks and
# developer tools have no install rules and stay out. Windows has its own package.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackage.cmake)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)

# A build without Qt or without the POSIX tools installs what it has.
foreach(program rangeview rangeview-cli rangeview-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# A manual page for each program, made from its --help (and for rangeview-cli its commands'
# --help) when help2man is there.
find_program(RV_HELP2MAN help2man)
if(RV_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(pages)
  foreach(entry
      "rangeview|host tool for serial distance-sensor modules|"
      "rangeview-cli|encode commands, decode frames and monitor a serial distance sensor|monitor"
      "rangeview-sim|simulated serial distance-sensor module on a pseudo-terminal|")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 program)
    list(GET entry 1 summary)
    list(GET entry 2 commands)
    if(NOT TARGET ${program})
      continue()
    endif()
    set(page ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${RV_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
        -DSUMMARY=${summary} -DVERSION=${PROJECT_VERSION} -DCOMMANDS=${commands} -DOUT=${page}
        -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMENT "Making the manual page of ${program}"
      VERBATIM)
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(rv_man_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(TARGET rangeview)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/rangeview.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/rangeview.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME rangeview)
set(CPACK_PACKAGE_VENDOR "${RV_VENDOR}")
set(CPACK_PACKAGE_CONTACT "rangeview developers <rangeview@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Host tool for serial distance-sensor modules")
set(CPACK_PACKAGE_DESCRIPTION
  "Opens a serial port, sends the sensor module its commands once or on a timer, and shows\n\
the decoded distance, the measuring mode, a hex echo of the received bytes and a waveform.\n\
Comes with rangeview-cli (command encoding, frame decoding, a headless monitor) and\n\
rangeview-sim (a simulated sensor on a pseudo-terminal).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY rangeview)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the programs link come from dpkg-shlibdeps; what they load at run time does not:
# Qt's platform plugins (the window system and offscreen) and a font with the Chinese texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")

include(CPack)
