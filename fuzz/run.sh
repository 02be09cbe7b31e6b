#!/usr/bin/env bash
# Builds the fuzz targets ("fuzz" preset) and runs each for a bounded time
# (default 60 seconds) on a copy of its seed corpus. Exits non-zero when a
# target finds a crash, a leak, a sanitizer report or a broken check; the
# input is kept in build/fuzz/artifacts/<target>/.
#
#   fuzz/run.sh [seconds] [target...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for src in fuzz/*_fuzzer.cc; do targets+=("$(basename "$src" .cc)"); done
fi

cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target "${targets[@]}" -j 2

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/pc50_fuzz_XXXXXX")"
trap 'rm -rf "$work"' EXIT

failed=0
for target in "${targets[@]}"; do
  corpus="$work/$target"
  artifacts="build/fuzz/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  [ -d "fuzz/corpus/$target" ] && cp -r "fuzz/corpus/$target/." "$corpus/"
  args=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$artifacts/")
  [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")
  # Every store input lays out files; short inputs reach every operation.
  [ "$target" = spool_store_fuzzer ] && args+=(-max_len=256)
  echo "== $target: ${seconds}s"
  if build/fuzz/fuzz/"$target" "${args[@]}" "$corpus" >"$work/$target.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' "$work/$target.log" || true
  else
    failed=1
    tail -n 60 "$work/$target.log"
    echo "== $target FAILED; inputs in $artifacts/"
  fi
done
exit $failed
