# Cross-compiles everything that runs without a graphics device for Windows with mingw-w64.
# The posix thread model is the one whose C++ runtime has std::mutex and std::thread, which
# GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# With Wine installed, ctest runs the Windows programs under it (Debian keeps wine64 off
# PATH). Wine keeps its state in a prefix of this build, never in the home folder. Its
# Direct3D draws through OpenGL on the X display of DISPLAY (scripts/test starts a private
# one), in Mesa's software renderer, so that no graphics card is needed; without a display
# the graphics tests skip and say so. Headless windows are never shown.
find_program(WINE64_PROGRAM wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(WINE64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml= WINE_D3D_CONFIG=renderer=gl LIBGL_ALWAYS_SOFTWARE=1
      GALLIUM_DRIVER=llvmpipe ${WINE64_PROGRAM})
endif()
