# Compile-only check of the whole driver against a macOS SDK from a non-Apple host, with clang:
# every floor and the macOS binding are compiled for a macOS target, nothing is linked.
# tools/macos-compile-check.sh drives it; set by hand:
#   DORVEX_MACOS_SYSROOT        a sysroot laid out as the SDK (usr/include, usr/lib,
#                               System/Library/Frameworks)
#   DORVEX_MACOS_TARGET         a clang target, e.g. arm64-apple-macos14
#   DORVEX_MACOS_EXTRA_INCLUDE  a folder holding only the headers of the other libraries
#                               (nlohmann/json, ICU, libpng, zlib, ...)
# The libraries themselves are stand-ins (cmake/macos-sdk-check/Find*.cmake): headers only.
set(CMAKE_SYSTEM_NAME Darwin)
foreach(name DORVEX_MACOS_SYSROOT DORVEX_MACOS_TARGET DORVEX_MACOS_EXTRA_INCLUDE)
  if(NOT ${name} AND DEFINED ENV{${name}})
    set(${name} "$ENV{${name}}")
  endif()
  if(NOT ${name})
    message(FATAL_ERROR "The macOS compile check needs ${name}")
  endif()
  # try_compile re-reads this file in a fresh project: hand the values on.
  set(ENV{${name}} "${${name}}")
endforeach()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES
  DORVEX_MACOS_SYSROOT DORVEX_MACOS_TARGET DORVEX_MACOS_EXTRA_INCLUDE)

string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${DORVEX_MACOS_TARGET}")
find_program(DORVEX_CLANGXX NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_CXX_COMPILER ${DORVEX_CLANGXX})
set(CMAKE_OBJCXX_COMPILER ${DORVEX_CLANGXX})
set(CMAKE_CXX_COMPILER_TARGET ${DORVEX_MACOS_TARGET})
set(CMAKE_OBJCXX_COMPILER_TARGET ${DORVEX_MACOS_TARGET})
set(CMAKE_OSX_SYSROOT ${DORVEX_MACOS_SYSROOT})
set(CMAKE_OSX_ARCHITECTURES "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "")
find_program(CMAKE_AR NAMES llvm-ar llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib llvm-ranlib-14 REQUIRED)
# Nothing is linked, so nothing is renamed either.
set(CMAKE_INSTALL_NAME_TOOL true)

set(dorvex_check_flags "-stdlib=libc++ -isystem ${DORVEX_MACOS_EXTRA_INCLUDE} -Werror")
set(CMAKE_CXX_FLAGS_INIT "${dorvex_check_flags}")
set(CMAKE_OBJCXX_FLAGS_INIT "${dorvex_check_flags} -fobjc-arc")

# Nothing can be linked: the compiler checks build static libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# The host's libraries and pkg-config files must not leak into a macOS build.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/macos-sdk-check)
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_CURRENT_LIST_DIR}/macos-sdk-check/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH ${DORVEX_MACOS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
