# Third-party libraries as imported targets, the same names in both builds:
#   halvora::zlib  halvora::minizip  halvora::tinyxml  halvora::gtest
# The native build takes Debian's packages; the Windows build takes the mingw
# zlib package and the TinyXML/minizip that scripts/setup cross-built.

if(WIN32)
  set(HALVORA_DEPS_PREFIX ${HALVORA_ROOT}/build/deps/mingw CACHE PATH
      "Prefix holding the cross-built TinyXML and minizip")
  foreach(lib tinyxml minizip)
    if(NOT EXISTS ${HALVORA_DEPS_PREFIX}/lib/lib${lib}.a)
      message(FATAL_ERROR "lib${lib}.a not found in ${HALVORA_DEPS_PREFIX}; run scripts/setup")
    endif()
  endforeach()

  find_library(HALVORA_MINGW_ZLIB NAMES libz.a z REQUIRED)
  add_library(halvora::zlib STATIC IMPORTED)
  set_target_properties(halvora::zlib PROPERTIES IMPORTED_LOCATION ${HALVORA_MINGW_ZLIB})

  add_library(halvora::tinyxml STATIC IMPORTED)
  set_target_properties(halvora::tinyxml PROPERTIES
    IMPORTED_LOCATION ${HALVORA_DEPS_PREFIX}/lib/libtinyxml.a
    INTERFACE_INCLUDE_DIRECTORIES ${HALVORA_DEPS_PREFIX}/include
    INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)

  add_library(halvora::minizip STATIC IMPORTED)
  set_target_properties(halvora::minizip PROPERTIES
    IMPORTED_LOCATION ${HALVORA_DEPS_PREFIX}/lib/libminizip.a
    INTERFACE_INCLUDE_DIRECTORIES ${HALVORA_DEPS_PREFIX}/include/minizip
    INTERFACE_LINK_LIBRARIES halvora::zlib)

  # GoogleTest from the sources Debian's googletest package installs.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(halvora::gtest ALIAS gtest)
else()
  find_package(ZLIB REQUIRED)
  add_library(halvora::zlib ALIAS ZLIB::ZLIB)

  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  add_library(halvora::minizip ALIAS PkgConfig::MINIZIP)

  find_library(HALVORA_TINYXML tinyxml REQUIRED)
  add_library(halvora::tinyxml UNKNOWN IMPORTED)
  set_target_properties(halvora::tinyxml PROPERTIES
    IMPORTED_LOCATION ${HALVORA_TINYXML}
    INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)

  find_package(GTest REQUIRED)
  add_library(halvora::gtest ALIAS GTest::gtest)

  pkg_check_modules(HTTPLIB IMPORTED_TARGET cpp-httplib)
  if(HTTPLIB_FOUND)
    add_library(halvora::httplib ALIAS PkgConfig::HTTPLIB)
  endif()
endif()
