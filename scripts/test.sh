#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors under g++ and clang, and runs every
# test under g++.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/gcc -G Ninja -DCMAKE_CXX_COMPILER=g++ -DDORVEX_WERROR=ON
cmake --build build/gcc -j "$jobs"
CXX=clang++ cmake -S . -B build/clang -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DDORVEX_WERROR=ON -DDORVEX_BENCH=OFF
cmake --build build/clang -j "$jobs"
ctest --test-dir build/gcc --output-on-failure -j "$jobs"
