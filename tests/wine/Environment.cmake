# The environment of the Windows build's tests under Wine (CMAKE_CROSSCOMPILING_EMULATOR is
# scripts/wine-run), included at the top so that every folder's tests get it: one prefix in
# RV_WINE_DIR with an Xvfb display of its own, COM ports served by the Linux simulator
# (tests/wine/CMakeLists.txt starts them as ctest fixtures).
set(RV_WINE_SIMULATOR "" CACHE FILEPATH "The Linux build's rangeview-sim, which serves the COM ports")
set(RV_WINE_DIR ${PROJECT_BINARY_DIR}/wine-run)

# Wine cancels an overlapped WaitCommEvent on a pseudo-terminal, which refuses the modem-line
# ioctl Wine polls meanwhile; this library, preloaded, answers that ioctl (a Linux one, so built
# with the host's compiler).
find_program(RV_HOST_CC NAMES cc gcc REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(rv_preload ${PROJECT_BINARY_DIR}/libpty-modem-lines.so)
add_custom_command(OUTPUT ${rv_preload}
  COMMAND ${RV_HOST_CC} -shared -fPIC -O2 -o ${rv_preload}
    ${CMAKE_CURRENT_LIST_DIR}/PtyModemLines.c -ldl
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/PtyModemLines.c
  VERBATIM)
add_custom_target(rv_wine_preload ALL DEPENDS ${rv_preload})

# COM5: the simulator in query mode; COM6: one that is ended on the test's request (a device that
# goes away); COM7: nothing; COM8: a stream (the window's waveform); COM9: 20,000 frames at the
# full rate. Wine applies share modes to files only, so a COM port opens twice there; the prefix
# is thrown away, so the port-list test may write its own registry values.
set(RV_WINE_ENVIRONMENT
  RANGEVIEW_WINE_RUN=${RV_WINE_DIR}
  LD_PRELOAD=${rv_preload}
  RV_TEST_COM_PORT=COM5 RV_TEST_HANGUP_PORT=COM6 RV_TEST_GONE_PORT=COM7 RV_TEST_STREAM_PORT=COM8
  RV_TEST_HANGUP_REQUEST=${RV_WINE_DIR}/hangup-request
  RV_TEST_HANGUP_DONE=${RV_WINE_DIR}/hangup-done
  RV_TEST_PORT_NOT_EXCLUSIVE=1 RV_TEST_REGISTRY_WRITABLE=1
  RV_BUILD=${PROJECT_BINARY_DIR} RV_VERSION=${PROJECT_VERSION} RV_SIMULATOR=${RV_WINE_SIMULATOR})

# What every test program under Wine has (rv_add_gtest): the environment, the prefix, a display.
set(RV_CROSS_TEST_ENVIRONMENT "${RV_WINE_ENVIRONMENT}")
set(RV_CROSS_TEST_FIXTURES wine_prefix wine_display)

