#!/usr/bin/env bash
# Installs what building and testing Dorvex needs on Debian 12, skipping what is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format pkg-config
  nlohmann-json3-dev libicu-dev libpng-dev zlib1g-dev libisal-dev uuid-dev libplist-dev
  libgtest-dev libgmock-dev libbenchmark-dev libdeflate-dev python3 python3-jsonschema
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
