# Read by cpack once per generator (CPACK_PROJECT_CONFIG_FILE). Names follow CPACK_PACKAGE_VERSION,
# so that `cpack -D CPACK_PACKAGE_VERSION=...` names its files after that version.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_PACKAGE_FILE_NAME rangeview-${CPACK_PACKAGE_VERSION}-windows)
  # It unpacks to one folder, rangeview/, whatever the version.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX /rangeview)
elseif(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME rangeview-${CPACK_PACKAGE_VERSION}-setup)
endif()
