# What `cmake --install` puts under the prefix: the library with its headers, the programs, a
# CMake package (pakengine::engine) and a pkg-config file, both relocatable with the prefix.
include(CMakePackageConfigHelpers)

set(ENGINE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pakengine)

install(TARGETS engine EXPORT pakengineTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The software device's headers stand in for the system's Direct3D headers where there are
# none; Windows uses its own.
set(ENGINE_HEADER_EXCLUDES)
if(WIN32)
  set(ENGINE_HEADER_EXCLUDES PATTERN d3d9 EXCLUDE)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/engine/ DESTINATION ${ENGINE_INCLUDE_DIR}
  FILES_MATCHING PATTERN "*.h" ${ENGINE_HEADER_EXCLUDES})
install(FILES ${PROJECT_BINARY_DIR}/generated/PakEngineVersion.h
  DESTINATION ${ENGINE_INCLUDE_DIR})

foreach(program exporter pak fontbake)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(EXPORT pakengineTargets NAMESPACE pakengine:: DESTINATION ${ENGINE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/pakengineConfig.cmake.in
  ${PROJECT_BINARY_DIR}/pakengineConfig.cmake INSTALL_DESTINATION ${ENGINE_CMAKE_DIR})
# A game built against 1.x works with any later 1.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pakengineConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pakengineConfig.cmake
  ${PROJECT_BINARY_DIR}/pakengineConfigVersion.cmake DESTINATION ${ENGINE_CMAKE_DIR})

# pkg-config: the library is static, so its dependencies go in Requires and Libs, where a plain
# `pkg-config --libs` finds them. The prefix is found from the file's own place.
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
  set(ENGINE_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
else()
  file(RELATIVE_PATH ENGINE_PC_UP /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" ENGINE_PC_UP "${ENGINE_PC_UP}")
  set(ENGINE_PC_PREFIX "\${pcfiledir}/${ENGINE_PC_UP}")
endif()
set(ENGINE_PC_REQUIRES "")
set(ENGINE_PC_CFLAGS "-I\${includedir}/pakengine")
set(ENGINE_PC_LIBS "-L\${libdir} -lpakengine")
if(WIN32)
  string(APPEND ENGINE_PC_CFLAGS " -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_CRT_SECURE_NO_WARNINGS")
  string(APPEND ENGINE_PC_LIBS " -lshell32 -lwinmm -ld3d9 -ld3dx9 -luser32 -lgdi32 -pthread")
else()
  set(ENGINE_PC_REQUIRES "libpng libjpeg")
  if(ENGINE_HAVE_SDL2)
    string(APPEND ENGINE_PC_REQUIRES " sdl2")
  endif()
  string(APPEND ENGINE_PC_CFLAGS " -I\${includedir}/pakengine/platform/d3d9/include")
  string(APPEND ENGINE_PC_LIBS " -pthread")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/pakengine.pc.in ${PROJECT_BINARY_DIR}/pakengine.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pakengine.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
