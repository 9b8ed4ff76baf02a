# The real macOS desktop (docs/architecture.md): Objective-C++ over ApplicationServices,
# CoreGraphics, AppKit, CoreFoundation, CoreServices' Apple Events and ScreenCaptureKit.
# Included by the top-level CMakeLists.txt when DORVEX_BINDINGS names macos (the default on
# Apple hosts). Builds for arm64 or x86_64, one architecture per build: the libraries from
# Homebrew are of the host's architecture only.
enable_language(OBJCXX)

set(dorvex_macos_architectures ${CMAKE_OSX_ARCHITECTURES})
if(NOT dorvex_macos_architectures)
  set(dorvex_macos_architectures ${CMAKE_SYSTEM_PROCESSOR})
endif()
foreach(architecture ${dorvex_macos_architectures})
  if(NOT architecture MATCHES "^(arm64|x86_64)$")
    message(FATAL_ERROR "The macOS binding builds for arm64 or x86_64, not ${architecture}")
  endif()
endforeach()

file(GLOB DORVEX_MACOS_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/macos/*.mm ${CMAKE_SOURCE_DIR}/platform/macos/*.cpp)
# The translation tables are plain C++ of a target of their own, built and tested everywhere.
list(REMOVE_ITEM DORVEX_MACOS_SOURCES ${CMAKE_SOURCE_DIR}/platform/macos/MacosTables.cpp)

set(DORVEX_MACOS_FRAMEWORKS
  "-framework ApplicationServices" "-framework CoreGraphics" "-framework AppKit"
  "-framework CoreFoundation" "-framework CoreServices" "-framework Foundation")
# Single-frame captures need macOS 14; the framework is linked weakly so older systems load
# the driver and capture through CoreGraphics instead.
if(EXISTS "${CMAKE_OSX_SYSROOT}/System/Library/Frameworks/ScreenCaptureKit.framework")
  list(APPEND DORVEX_MACOS_FRAMEWORKS "-weak_framework ScreenCaptureKit")
endif()

dorvex_floor(DorvexMacos STATIC SOURCES ${DORVEX_MACOS_SOURCES} OWNS platform/macos
  LINKS DorvexBoundary DorvexMacosTables ${DORVEX_MACOS_FRAMEWORKS})
target_compile_options(DorvexMacos PRIVATE $<$<COMPILE_LANGUAGE:OBJCXX>:-fobjc-arc>)

# The executable is signed with these entitlements after each link (DORVEX_CODESIGN_IDENTITY).
set(DORVEX_ENTITLEMENTS ${CMAKE_SOURCE_DIR}/platform/macos/Dorvex.entitlements)

list(APPEND DORVEX_BINDING_TARGETS DorvexMacos)
string(APPEND DORVEX_BINDING_INCLUDES "#include \"platform/macos/MakeMacosPlatform.h\"\n")
string(APPEND DORVEX_BINDING_ENTRIES
  "        {\"macos\", platform::macos::makeMacosPlatform},\n")
