#!/usr/bin/env bash
# Compiles (does not link) the whole driver, the macOS binding included, against a macOS SDK
# from a Linux host with clang, for arm64 (macOS 14) and x86_64 (macOS 13), warnings as errors.
#
#   tools/macos-compile-check.sh <sysroot> [extra-include]
#
# <sysroot> is laid out as the SDK: usr/include, usr/lib and System/Library/Frameworks.
# [extra-include] holds only the headers of the other libraries (nlohmann/json, ICU, libpng,
# zlib, ISA-L, libdeflate); without it they are copied from this host's /usr/include into a
# folder beside the build. Neither the SDK nor those headers ever go into the repository.
# Environment: DORVEX_MACOS_TARGETS replaces the two targets; BUILD_ROOT the build folder.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -d "$1/usr/include" ] || [ ! -d "$1/System/Library/Frameworks" ]; then
  echo "usage: $0 <sysroot with usr/include and System/Library/Frameworks> [extra-include]" >&2
  exit 2
fi
sysroot=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_root=${BUILD_ROOT:-${TMPDIR:-/tmp}/dorvex-macos-check}
targets=${DORVEX_MACOS_TARGETS:-arm64-apple-macos14 x86_64-apple-macos13}
mkdir -p "$build_root"

if [ $# -ge 2 ]; then
  extra=$(cd "$2" && pwd)
else
  extra=$build_root/extra-include
  rm -rf "$extra"
  mkdir -p "$extra"
  for path in nlohmann unicode zlib.h zconf.h isa-l isa-l.h libdeflate.h; do
    [ -e "/usr/include/$path" ] && cp -r "/usr/include/$path" "$extra/"
  done
  for header in png.h pngconf.h pnglibconf.h; do
    cp "/usr/include/libpng16/$header" "$extra/" 2>/dev/null || cp "/usr/include/$header" "$extra/"
  done
fi

failed=()
for target in $targets; do
  build=$build_root/$target
  echo "== $target"
  launcher=(); command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_OBJCXX_COMPILER_LAUNCHER=ccache)
  if ! cmake -S "$source_dir" -B "$build" -G Ninja --fresh "${launcher[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/macos-sdk-check.cmake" \
      -DDORVEX_MACOS_SYSROOT="$sysroot" -DDORVEX_MACOS_TARGET="$target" \
      -DDORVEX_MACOS_EXTRA_INCLUDE="$extra" \
      -DDORVEX_BINDINGS=macos -DDORVEX_WERROR=ON -DDORVEX_TESTS=OFF -DDORVEX_BENCH=OFF \
      >"$build_root/$target-configure.log" 2>&1; then
    cat "$build_root/$target-configure.log"
    failed+=("$target")
    continue
  fi
  # Every library of every floor, and main's object: all that a link would need.
  if ! cmake --build "$build" -j 2 -- -k 0 DorvexBindings CMakeFiles/dorvex.dir/Dorvex/main.cpp.o \
      2>&1 | tee "$build_root/$target-build.log" | grep -E "warning|error|FAILED" ; then
    :
  fi
  if grep -qE "warning:|error:|FAILED" "$build_root/$target-build.log"; then
    failed+=("$target")
  else
    echo "   compiled: no errors, no warnings ($(grep -c 'Building' "$build_root/$target-build.log") files)"
  fi
done

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]} (logs in $build_root)"
  exit 1
fi
echo "OK: $targets"
