#!/usr/bin/env bash
# Runs every fuzz target of a build made with -DDORVEX_FUZZ=ON for a fixed time on its seed
# corpus, one after the other; any crash, leak, sanitizer report or time-out fails the run.
#   bash scripts/fuzz.sh BUILD_DIR [SECONDS_EACH] [TARGET...]
# The seeds in fuzz/corpus stay untouched: new inputs and findings go to a scratch folder, named
# on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "$1")
seconds=${2:-25}
shift $(($# < 2 ? $# : 2))
targets=("$@")
((${#targets[@]})) || targets=(RequestDispatch_fuzz ScenarioLoader_fuzz ElementPath_fuzz KeySpec_fuzz JsonText_fuzz)

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/dorvex-fuzz-run-XXXXXX")
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  echo "fuzz: $target for ${seconds}s"
  if ! "$build/fuzz/$target" "$scratch/$target" "fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$scratch/$target/" >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "fuzz: $target FAILED; its input and log are in $scratch"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$scratch/$target.log" || true
done
rm -rf "$scratch"
echo "fuzz: every target ran clean"
