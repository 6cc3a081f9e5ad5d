# The Windows build: static single-file programs, GoogleTest built from Debian's sources
# with the cross compiler, and test programs run under wine64 with a prefix of their own
# inside the build directory.

# Everything linked in (C and C++ runtimes, winpthreads): nothing to ship beside the .exe.
add_link_options(-static)
# Windows headers: no min/max macros, Unicode (W) functions and Windows 8 APIs.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE _WIN32_WINNT=0x0602)

set(QUILLET_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QUILLET_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# (GoogleTest's own CMake files define the GTest:: names the tests link with.)

find_program(QUILLET_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(QUILLET_WINE64 NAMES wine64)
if(QUILLET_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
                                    ${QUILLET_WINE64})
endif()

# libcurl, PCRE2, libsodium and expat, cross-built from Debian's sources by scripts/build-windows-libraries.sh.
set(QUILLET_WINDOWS_LIBRARIES ${PROJECT_SOURCE_DIR}/build/windows-libraries/prefix CACHE PATH
    "Static mingw-w64 builds of libcurl, PCRE2, libsodium and expat")
if(NOT EXISTS ${QUILLET_WINDOWS_LIBRARIES}/.complete)
  message(FATAL_ERROR "libcurl, PCRE2, libsodium and expat for Windows are missing: run scripts/build-windows-libraries.sh")
endif()
set(CURL_DIR ${QUILLET_WINDOWS_LIBRARIES}/lib/cmake/CURL)
# A static library of that prefix under the name the Linux build's pkg-config gives it.
function(quillet_windows_library alias library definition)
  find_library(QUILLET_${alias}_LIBRARY ${library} PATHS ${QUILLET_WINDOWS_LIBRARIES}/lib NO_DEFAULT_PATH
               NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(quillet_${library} INTERFACE)
  target_include_directories(quillet_${library} SYSTEM INTERFACE ${QUILLET_WINDOWS_LIBRARIES}/include)
  target_link_libraries(quillet_${library} INTERFACE ${QUILLET_${alias}_LIBRARY})
  target_compile_definitions(quillet_${library} INTERFACE ${definition})
  add_library(PkgConfig::${alias} ALIAS quillet_${library})
endfunction()
quillet_windows_library(PCRE2 pcre2-8 PCRE2_STATIC)
quillet_windows_library(SODIUM sodium SODIUM_STATIC)
quillet_windows_library(EXPAT expat XML_STATIC)

# Folders whose Windows variants do not exist yet; they are left out of this build.
set(quillet_windows_pending_dirs)
