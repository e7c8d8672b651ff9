# Installation: the public headers, libtarvex.so.5 and libtarvex.a, the
# CMake package (find_package(Tarvex CONFIG) -> Tarvex::tarvex), tarvex.pc,
# and the tools. Included from the top-level CMakeLists.txt.
include(CMakePackageConfigHelpers)

set(TARVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tarvex CACHE STRING
    "Where the CMake package files are installed, relative to the prefix")

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tarvex
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
        FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")

install(TARGETS tarvex EXPORT TarvexSharedTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS tarvex_static EXPORT TarvexStaticTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(EXPORT TarvexSharedTargets NAMESPACE Tarvex:: DESTINATION ${TARVEX_CMAKE_DIR} COMPONENT development)
install(EXPORT TarvexStaticTargets NAMESPACE Tarvex:: DESTINATION ${TARVEX_CMAKE_DIR} COMPONENT development)

# What the static library needs from its consumers' find_package calls.
set(TARVEX_STATIC_DEPENDENCIES "ZLIB;BZip2;OpenSSL;Threads")
set(TARVEX_PC_LIBS_PRIVATE "-lbz2 -pthread")
if(TARVEX_WITH_MIMALLOC)
  list(APPEND TARVEX_STATIC_DEPENDENCIES "mimalloc 2.0 CONFIG")
  # The C and C++ runtimes ahead of mimalloc: see the top-level CMakeLists.txt.
  string(APPEND TARVEX_PC_LIBS_PRIVATE " -lc -lstdc++ -lmimalloc")
endif()
set(TARVEX_FIND_DEPENDENCIES "")
foreach(dep IN LISTS TARVEX_STATIC_DEPENDENCIES)
  string(APPEND TARVEX_FIND_DEPENDENCIES "    find_dependency(${dep})\n")
endforeach()

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarvexConfig.cmake INSTALL_DESTINATION ${TARVEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarvexConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarvexConfig.cmake ${PROJECT_BINARY_DIR}/TarvexConfigVersion.cmake
        DESTINATION ${TARVEX_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, so an
# installed tree can be moved (or installed with cmake --install --prefix).
file(RELATIVE_PATH TARVEX_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TARVEX_PC_TO_PREFIX "${TARVEX_PC_TO_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  file(RELATIVE_PATH rel ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_${kind}})
  if(rel MATCHES "^\\.\\.")
    set(TARVEX_PC_${kind} "${CMAKE_INSTALL_FULL_${kind}}")
  else()
    set(TARVEX_PC_${kind} "\${prefix}/${rel}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.pc.in ${PROJECT_BINARY_DIR}/tarvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
