# Winelib build: Wine's Win32 on Linux with Debian's native libvlc.
set(CMAKE_SYSTEM_NAME Linux)
set(WINE_TOOLS /usr/lib/wine)
set(CMAKE_C_COMPILER ${WINE_TOOLS}/winegcc)
set(CMAKE_CXX_COMPILER ${WINE_TOOLS}/wineg++)
set(CMAKE_RC_COMPILER ${WINE_TOOLS}/wrc)
set(TVCLIENT_FLAVOUR wine CACHE STRING "" FORCE)
