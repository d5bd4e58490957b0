# What the Windows cross-build takes from the host's Debian packages without their host paths.

# CLI11 is header-only, but its package config points at the host's include root, whose C
# headers would then shadow mingw's. Hand the cross-build CLI11's own folder and nothing else.
find_path(ENGINE_CLI11_ROOT CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(ENGINE_CLI11_ROOT)
  set(cli11_dir ${CMAKE_BINARY_DIR}/cli11)
  file(MAKE_DIRECTORY ${cli11_dir}/include)
  file(CREATE_LINK ${ENGINE_CLI11_ROOT}/CLI ${cli11_dir}/include/CLI SYMBOLIC)
  file(WRITE ${cli11_dir}/CLI11Config.cmake
       "if(NOT TARGET CLI11::CLI11)\n"
       "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
       "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${cli11_dir}/include)\n"
       "endif()\n")
  set(CLI11_DIR ${cli11_dir} CACHE PATH "CLI11 for the cross-build" FORCE)
endif()

# The stb headers likewise: their own folder only, for fontbake's glyph renderer.
find_path(ENGINE_STB_ROOT stb/stb_truetype.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(ENGINE_STB_ROOT)
  set(stb_dir ${CMAKE_BINARY_DIR}/stb/include)
  file(MAKE_DIRECTORY ${stb_dir})
  file(CREATE_LINK ${ENGINE_STB_ROOT}/stb ${stb_dir}/stb SYMBOLIC)
  set(ENGINE_STB_INCLUDE ${stb_dir})
endif()

# Debian ships GoogleTest for the host only, and its sources: build them with this toolchain.
macro(engine_add_cross_gtest)
  set(ENGINE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  if(EXISTS ${ENGINE_GTEST_SOURCE}/googletest/CMakeLists.txt)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ENGINE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  endif()
endmacro()
