# Installs the three programs, the desktop entry and the icon in the usual Linux places, and
# describes the Debian package `cpack -G DEB` builds from them. Tests, benchmarks and
# developer tools have no install rules and stay out.
include(GNUInstallDirs)

# A build without Qt or without the POSIX tools installs what it has.
foreach(program rangeview rangeview-cli rangeview-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET rangeview)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/rangeview.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/rangeview.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME rangeview)
set(CPACK_PACKAGE_VENDOR "rangeview developers")
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
