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

# Folders whose Windows variants do not exist yet; they are left out of this build.
set(quillet_windows_pending_dirs ftp net app)
