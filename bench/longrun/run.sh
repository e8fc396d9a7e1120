#!/usr/bin/env bash
# A long recording (an hour, or BENCH_SECONDS): murovent-record on a 1920x1080 Xvfb at 30 fps
# with system sound while a client flashes the screen and beeps once a second, printing its
# resident memory at the start, middle and end and the file's length against the wall time;
# then the library alone with the fragmented writer against the one that keeps its index
# until the end (CPU per frame, memory, timeline), each for BENCH_SECONDS (at most 10 min), and
# the two writers alone on the same packets (their CPU per frame is the whole difference).
#
#   bench/longrun/run.sh [BUILD_DIR]   (needs murovent-record, audio_bench and longrun_bench)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd) || { echo "run.sh: no build folder" >&2; exit 2; }
export RECORD="$build/tools/record/murovent-record" FLASH="$build/bench/audio/audio_bench"
export LONGRUN="$build/bench/longrun/longrun_bench" SECONDS_TO_RECORD=${BENCH_SECONDS:-3600}
for f in "$RECORD" "$FLASH" "$LONGRUN"; do
  [ -x "$f" ] || { echo "run.sh: $f is missing (build with -DMUROVENT_BUILD_BENCH=ON)" >&2; exit 2; }
done
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

"$here/../../scripts/testenv" --x --pulse -- bash -c '
  set -u
  out=$XDG_RUNTIME_DIR s=$SECONDS_TO_RECORD
  rss() { awk "/VmRSS/ { printf \"%.1f\", \$2 / 1024 }" /proc/$1/status 2>/dev/null; }
  echo "== murovent-record: 1920x1080 at 30 fps + system sound, $s s"
  "$FLASH" flash $((s + 5)) 2>/dev/null &
  flasher=$!
  start=$(date +%s.%N)
  "$RECORD" --fps 30 --audio system --duration "$s" "$out/long.mp4" 2>"$out/long.log" &
  rec=$!
  sleep 3; a=$(rss $rec)
  sleep $(awk -v s="$s" "BEGIN { print s / 2 - 3 }"); b=$(rss $rec)
  sleep $(awk -v s="$s" "BEGIN { print s / 2 - 1.5 }"); c=$(rss $rec)
  cpu=$(awk "{ print (\$14 + \$15) / 100 }" /proc/$rec/stat)
  wait $rec
  status=$?
  kill $flasher 2>/dev/null; wait $flasher 2>/dev/null
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/long.mp4")
  slots=$(sed -n "s/.*video *\([0-9]*\) slots.*/\1/p" "$out/long.log")
  echo "exit $status; RSS $a / $b / $c MB (start/middle/end); file $duration s for $s s wall;" \
       "$(awk -v c="$cpu" -v n="$slots" "BEGIN { printf \"%.2f ms CPU per frame slot (%d slots, whole process)\", c * 1000 / n, n }")"
  tail -n +2 "$out/long.log" | sed "s/^/   /"
  echo "== library alone: fragmented writer against one index at the end"
  t=$(( s < 600 ? s : 600 ))
  "$LONGRUN" "$t" "$out"
  echo "== the writers alone, on the same packets (the one-index file just recorded)"
  "$LONGRUN" mux "$out/oneindex.mp4"
'
