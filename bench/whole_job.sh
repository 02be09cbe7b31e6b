#!/usr/bin/env bash
# Whole-job throughput and memory of `pc50 print`, against the I/O floor.
#
#   bench/whole_job.sh [--modes "1 2 3"] [--dir DIR] [--mb MEGABYTES]
#
# Builds the pc50 tool and whole_job_spool with the default preset
# (build/default; PC50_BUILD_DIR names another build directory), then per
# output mode (1 single-colour ribbons, 2 the
# four-colour ribbon with CMYK, 3 the four-colour ribbon with CMYK and Gold)
# writes two jobs of dithered photo-like pages at 360 dpi:
#   large: a page of 10 x 8 inches, as many copies as make about --mb
#          megabytes of stream (default 1000; one copy per page);
#   small: a page of 10 x 1.25 inches, one copy (about 1 MB of stream).
# Each runs under /usr/bin/time -v with --step-times. The I/O floor of a job
# is the time to read its spool file (cat) and write a file of its stream's
# size (dd from /dev/zero, 1 MiB blocks), in the same directory and the same
# run. Reported: stream size, wall time, throughput, floor throughput and
# the ratio, peak resident memory of both jobs and the longest resume step.
#
# Checks (exit status 1 when one fails): throughput at least a quarter of
# the floor; peak memory under 32 MB and the same within 2 MB for both jobs;
# no step longer than the 200 ms slice plus the time of one row.
#
# DIR defaults to a new directory under $TMPDIR (else /tmp), removed at the
# end. The floor depends on the file system: on tmpfs it is several times
# that of a disk, while the module pays the same per row.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

modes="1 2 3"
dir=""
megabytes=1000
while [ $# -gt 0 ]; do
  case "$1" in
    --modes) modes="$2"; shift 2 ;;
    --dir) dir="$2"; shift 2 ;;
    --mb) megabytes="$2"; shift 2 ;;
    *) echo "usage: $0 [--modes \"1 2 3\"] [--dir DIR] [--mb MEGABYTES]" >&2; exit 2 ;;
  esac
done

[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time, package time)" >&2; exit 2; }

# PC50_BUILD_DIR: an already configured build directory to use instead.
build="${PC50_BUILD_DIR:-$root/build/default}"
[ -n "${PC50_BUILD_DIR:-}" ] || cmake --preset default >/dev/null
cmake --build "$build" --target pc50_cli whole_job_spool -j 2 >/dev/null
pc50="$build/tools/pc50/pc50"
writer="$build/bench/whole_job_spool"

if [ -z "$dir" ]; then
  dir="$(mktemp -d "${TMPDIR:-/tmp}/pc50_whole_job_XXXXXX")"
  trap 'rm -rf "$dir"' EXIT
else
  mkdir -p "$dir"
fi
# The module's four-colour scratch file goes there too.
export TMPDIR="$dir"

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
peak_kb() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }

# run_job SPOOL COPIES NAME: prints "bytes seconds peak_kb longest_ms steps".
run_job() {
  local spool="$1" copies="$2" name="$3"
  sync
  # GNU time's own wall clock counts in hundredths; the job's is taken here.
  local start seconds
  start=$(now)
  /usr/bin/time -v -o "$dir/$name.time" "$pc50" print "$spool" -o "$dir/$name.prn" --no-prompt \
    --copies "$copies" --step-times >"$dir/$name.out"
  seconds=$(seconds_since "$start")
  local bytes longest steps
  bytes=$(sed -n 's/^printed .*: \([0-9]*\) bytes to .*/\1/p' "$dir/$name.out")
  longest=$(sed -n 's/^longest step: \([0-9.]*\) ms of \([0-9]*\) steps/\1/p' "$dir/$name.out")
  steps=$(sed -n 's/^longest step: \([0-9.]*\) ms of \([0-9]*\) steps/\2/p' "$dir/$name.out")
  rm -f "$dir/$name.prn"
  echo "$bytes $seconds $(peak_kb "$dir/$name.time") $longest $steps"
}

# floor SPOOL BYTES: seconds to read the spool file and write BYTES.
floor() {
  local spool="$1" bytes="$2"
  sync
  local start seconds
  start=$(now)
  cat "$spool" >/dev/null
  dd if=/dev/zero of="$dir/floor.bin" bs=1M count=$(((bytes + 1048575) / 1048576)) status=none
  seconds=$(seconds_since "$start")
  rm -f "$dir/floor.bin"
  echo "$seconds"
}

echo "directory: $dir ($(stat -f -c %T "$dir")); $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| mode | job | stream | wall | throughput | I/O floor | ratio | peak RSS | longest step | steps |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"

failed=0
for mode in $modes; do
  large="$dir/large$mode.spl"
  small="$dir/small$mode.spl"
  "$writer" "$large" "$mode" 360 10 8
  "$writer" "$small" "$mode" 360 10 1.25
  # One copy tells how many make the large stream.
  read -r one _ <<<"$(run_job "$large" 1 probe)"
  copies=$(( (megabytes * 1000000 + one / 2) / one ))
  [ "$copies" -ge 1 ] || copies=1
  [ "$copies" -le 32767 ] || copies=32767

  declare -A rss
  for job in large small; do
    spool="$dir/$job$mode.spl"
    n=$([ "$job" = large ] && echo "$copies" || echo 1)
    read -r bytes seconds peak longest steps <<<"$(run_job "$spool" "$n" "$job$mode")"
    floor_seconds=$(floor "$spool" "$bytes")
    rss[$job]=$peak
    # One row: the slowest a row can be is taken as the mean time per
    # composed row (10 x 8 inches at 360 dpi: 2,880 rows a copy, each plane).
    rows_per_copy=$([ "$job" = large ] && echo 2880 || echo 450)
    planes=$([ "$mode" = 2 ] && echo 4 || echo 5)
    awk -v mode="$mode" -v job="$job" -v copies="$n" -v bytes="$bytes" -v s="$seconds" -v f="$floor_seconds" \
        -v kb="$peak" -v longest="$longest" -v steps="$steps" -v rows="$((rows_per_copy * planes * n))" '
      BEGIN {
        mb = bytes / 1e6; rate = mb / s; floor = mb / f; ratio = rate / floor
        row = s * 1000 / rows
        printf "| %d | %s, %d %s | %.1f MB | %.2f s | %.0f MB/s | %.0f MB/s | %.2f | %.1f MB | %.1f ms | %d |\n",
               mode, job, copies, copies == 1 ? "copy" : "copies", mb, s, rate, floor, ratio, kb / 1024, longest, steps
        bad = 0
        if (job == "large" && ratio < 0.25) { printf "  throughput below a quarter of the floor\n" > "/dev/stderr"; bad = 1 }
        if (kb / 1024 >= 32) { printf "  peak memory of %.1f MB\n", kb / 1024 > "/dev/stderr"; bad = 1 }
        if (longest > 200 + row) { printf "  a step of %.1f ms\n", longest > "/dev/stderr"; bad = 1 }
        exit bad
      }' || failed=1
  done
  if [ $(( ${rss[large]} - ${rss[small]} )) -gt 2048 ] || [ $(( ${rss[small]} - ${rss[large]} )) -gt 2048 ]; then
    echo "  mode $mode: peak memory differs by more than 2 MB between the jobs" >&2
    failed=1
  fi
  rm -f "$large" "$small"
done
exit $failed
