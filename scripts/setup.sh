#!/usr/bin/env bash
# Installs what building and testing Dorvex needs on Debian 12, skipping what is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format pkg-config
  nlohmann-json3-dev libicu-dev libpng-dev zlib1g-dev libisal-dev uuid-dev libplist-dev
  libgtest-dev libgmock-dev libbenchmark-dev libdeflate-dev python3 python3-jsonschema
  libclang-rt-14-dev # clang's sanitizer and libFuzzer runtimes
  # The Linux desktop binding: AT-SPI2 over D-Bus, X11 through xcb.
  libatspi2.0-dev libdbus-1-dev libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-xtest0-dev
  # The real desktop its tests run on: a virtual X server, a D-Bus session with the
  # accessibility bus, a window manager and the GTK apps they drive.
  xvfb dbus dbus-daemon at-spi2-core openbox gtk-3-examples zenity
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The official MCP client for the MCP server's end-to-end test, from the npm registry. Best
# effort: without Node.js or the registry that test reports itself skipped.
if command -v npm >/dev/null 2>&1; then
  (cd "$(dirname "$0")/../tests/mcp-client" &&
    timeout 120 npm ci --no-audit --no-fund --loglevel=error) ||
    echo "setup: npm ci in tests/mcp-client failed; the official MCP client test will be skipped" >&2
fi
