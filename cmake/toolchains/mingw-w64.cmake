# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads: std::thread needs them).
# Qt for Windows comes from CMAKE_PREFIX_PATH; its moc, rcc and uic come from the host Qt
# (QT_HOST_PATH). scripts/build-windows sets both.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RV_MINGW_TRIPLE}-windres)

# Qt's package files live under the Qt prefix, which must be a root too or ONLY mode hides them.
set(CMAKE_FIND_ROOT_PATH /usr/${RV_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
