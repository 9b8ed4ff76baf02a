# The Linux desktop: X11 through xcb (windows, RandR displays, shared-memory captures, XTest
# input) and AT-SPI2 over D-Bus (accessibility). Included by the top-level CMakeLists.txt when
# DORVEX_BINDINGS names linux.
pkg_check_modules(DORVEX_LINUX REQUIRED IMPORTED_TARGET
  dbus-1 atspi-2 xcb xcb-randr xcb-shm xcb-xtest)
file(GLOB DORVEX_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/linux/*.cpp)
dorvex_floor(DorvexLinux STATIC SOURCES ${DORVEX_LINUX_SOURCES}
  OWNS platform/linux LINKS DorvexBoundary PkgConfig::DORVEX_LINUX Threads::Threads)

list(APPEND DORVEX_BINDING_TARGETS DorvexLinux)
string(APPEND DORVEX_BINDING_INCLUDES "#include \"platform/linux/MakeLinuxPlatform.h\"\n")
string(APPEND DORVEX_BINDING_ENTRIES
  "        {\"linux\", platform::linux_desktop::makeLinuxPlatform},\n")
