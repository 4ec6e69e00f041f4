# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the posix
# threads variant, for std::thread and std::mutex), run under Wine.
# Used by scripts/windows-check.sh: the Qt-free core alone (-DVX_CORE_ONLY=ON,
# static runtime), or with VX_WINDOWS_PREFIXES naming the folders of Qt for
# Windows and the other libraries built by scripts/windows-qt.sh, everything
# that builds on Windows (MinGW's runtime as DLLs, shared with Qt's).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# The test builds of CMake's checks see the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VX_WINDOWS_PREFIXES)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VX_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks only among the Windows libraries, never at the build host's.
set(vx_pkg_config_dirs /usr/x86_64-w64-mingw32/lib/pkgconfig)
foreach(prefix ${VX_WINDOWS_PREFIXES})
  list(APPEND vx_pkg_config_dirs ${prefix}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" vx_pkg_config_dirs "${vx_pkg_config_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${vx_pkg_config_dirs}")

if(NOT VX_WINDOWS_PREFIXES)
  # The C++ runtime and winpthreads linked in, so the programs run without
  # MinGW's DLLs beside them.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# ctest starts each test program through Wine.
if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
