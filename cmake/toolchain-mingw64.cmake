# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads), tested under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FWU_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FWU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FWU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FWU_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FWU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: no mingw runtime DLLs to carry next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, in a prefix of the build's own.
set(FWU_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/run-under-wine.sh;${FWU_WINEPREFIX}")

# GoogleTest has no mingw build among Debian's packages: find_package(GTest) builds it from
# Debian's source package with this toolchain.
set(GTest_DIR "${CMAKE_CURRENT_LIST_DIR}/mingw-googletest")
