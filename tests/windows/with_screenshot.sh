#!/bin/sh
# Runs a window test program and takes a screenshot of the X display while
# the program's first window is open. The program, started with --hold DIR,
# creates DIR/open when its window is up and waits for DIR/taken.
#
#   with_screenshot.sh PNG DIR COMMAND...
# Exits with the program's status, or 1 when no screenshot could be taken.
set -u
png=$1
dir=$2
shift 2
rm -rf "$dir" "$png"
mkdir -p "$dir" "$(dirname "$png")"

"$@" &
pid=$!
waited=0
while [ ! -e "$dir/open" ] && kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 1200 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
shot=0
if [ -e "$dir/open" ]; then
  import -window root "$png" && shot=1
fi
touch "$dir/taken"
wait "$pid"
status=$?
if [ "$shot" -eq 1 ]; then
  echo "screenshot: $png"
else
  echo "no screenshot was taken (no window came up, or import failed)"
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
