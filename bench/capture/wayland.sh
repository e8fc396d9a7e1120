#!/usr/bin/env bash
# Capture benchmark, Wayland run: murovent-record through the screen cast portal on the test
# environment's headless Wayland desktop (sway, PipeWire, xdg-desktop-portal-wlr) against the
# same program grabbing an Xvfb of the same size, both recording the same content (screen_animate:
# full-screen motion, then a mostly still desktop with a small box changing; BENCH_CONTENTS
# chooses) at 1280x720 and 30 fps for BENCH_SECONDS (default 20) seconds. Prints per
# path: our CPU per new picture, the display side's extra CPU per new picture while recording
# (the compositor, the portal and PipeWire; or the X server: its CPU while recording less its
# CPU over as long a time just before, with the same content moving), new pictures against
# expected, and how many pictures the portal sent (and how many of those a newer one replaced
# before a frame slot took it).
#
#   bench/capture/wayland.sh [BUILD_DIR]   (needs murovent-record, screen_animate and the
#                                            portal helper mv_screencopy_shim)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd) || { echo "wayland.sh: no build folder" >&2; exit 2; }
record="$build/tools/record/murovent-record"
animate="$build/bench/capture/screen_animate"
shim="$build/tools/wayland/libmv_screencopy_shim.so"
for f in "$record" "$animate" "$shim"; do
  [ -e "$f" ] || { echo "wayland.sh: $f is missing (build with -DMUROVENT_BUILD_BENCH=ON)" >&2; exit 2; }
done
seconds=${BENCH_SECONDS:-20}

# Runs inside the test environment: $1 the back-end, the rest the display side's programs.
# Prints: ours-CPU-s new-pictures slots, then one "name extra-CPU-s" line per program.
measure=$(cat <<'INNER'
set -u
backend=$1; shift
record=${MUROVENT_STAGE:+$MUROVENT_STAGE/murovent-record}; record=${record:-$BENCH_RECORD}
animate=${MUROVENT_STAGE:+$MUROVENT_STAGE/screen_animate}; animate=${animate:-$BENCH_ANIMATE}
ticks=$(getconf CLK_TCK)
pid_of() {  # a program of this environment (its runtime folder) by name
  for e in /proc/[0-9]*/environ; do
    p=${e//[^0-9]/}
    [ "$(basename "$(readlink /proc/$p/exe 2>/dev/null)")" = "$1" ] \
      && grep -qzx "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "$e" 2>/dev/null && { echo "$p"; return; }
  done
}
cpu() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }
pids=(); for name in "$@"; do pids+=("$(pid_of "$name")"); done
"$animate" "$BENCH_CONTENT" >/dev/null 2>&1 & animation=$!
sleep 2
# The display side's CPU without recording, then while recording, for the same wall time.
before=(); for p in "${pids[@]}"; do before+=("$(cpu "$p")"); done
sleep "$BENCH_SECONDS"
idle=(); for i in "${!pids[@]}"; do idle+=("$(awk -v a="${before[i]}" -v b="$(cpu "${pids[i]}")" 'BEGIN{print b-a}')"); done
before=(); for p in "${pids[@]}"; do before+=("$(cpu "$p")"); done
start=$(date +%s.%N)
# The capture log tells how many pictures the portal sent.
QT_LOGGING_RULES=murovent.capture.info=true /usr/bin/time -f "%U %S" -o "$TMPDIR/time.txt" "$record" --backend "$backend" --fps 30 \
  --duration "$BENCH_SECONDS" "$TMPDIR/out.mp4" 2>"$TMPDIR/rec.log"
wall=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN{print e-s}')
kill "$animation"
awk '{ printf "%.3f ", $1 + $2 }' "$TMPDIR/time.txt"
sent=$(sed -n 's/.*stream closed: \([0-9]*\) pictures received, \([0-9]*\) replaced.*/\1(\2)/p' "$TMPDIR/rec.log")
sed -n 's/.*video  \([0-9]*\) slots.*new pictures \([0-9]*\).*/\2 \1/p' "$TMPDIR/rec.log" | tr -d '\n'
echo " ${sent:--}"
for i in "${!pids[@]}"; do
  awk -v n="$(basename "$(readlink /proc/${pids[i]}/exe)")" -v a="${before[i]}" -v b="$(cpu "${pids[i]}")" -v idle="${idle[i]}" \
    -v w="$wall" -v s="$BENCH_SECONDS" 'BEGIN { printf "%s %.3f\n", n, (b - a) - idle * w / s }'
done
INNER
)

report() {  # report LABEL < measure's output
  local label=$1 ours pictures slots sent side="" total
  read -r ours pictures slots sent
  total=$ours
  while read -r name extra; do
    side+=$(printf " %s %.2f" "$name" "$(awk -v e="$extra" -v p="$pictures" 'BEGIN{print e * 1000 / p}')")
    total=$(awk -v t="$total" -v e="$extra" 'BEGIN{print t + e}')
  done
  printf "%-7s %8.2f %8.2f %14s %9s   %s\n" "$label" "$(awk -v c="$ours" -v p="$pictures" 'BEGIN{print c * 1000 / p}')" \
    "$(awk -v c="$total" -v p="$pictures" 'BEGIN{print c * 1000 / p}')" "$pictures/$slots ($((seconds * 30)))" \
    "$sent" "${side# }"
  echo "$label $ours $total $pictures" >>"$results"
}

results=$(mktemp /tmp/mvbench-wayland.XXXXXX)
trap 'rm -f "$results"' EXIT
export BENCH_SECONDS=$seconds BENCH_RECORD="$record" BENCH_ANIMATE="$animate"
stage=(--stage "$record" --stage "$animate")
for BENCH_CONTENT in ${BENCH_CONTENTS:-motion desktop}; do
  export BENCH_CONTENT
  : >"$results"
  printf "capture benchmark, Wayland: %s s at 30 fps, 1280x720, %s, %s cores\n" "$seconds" "$BENCH_CONTENT" "$(nproc)"
  printf "%-7s %8s %8s %14s %9s   %s\n" path "ours ms" "all ms" "new (expected)" "sent(rpl)" "display side's extra ms per new picture"
  "$top/scripts/testenv" --wayland "$shim" "${stage[@]}" -- bash -c "$measure" _ portal \
    sway xdg-desktop-portal-wlr pipewire | report portal
  "$top/scripts/testenv" --x --size 1280x720 -- bash -c "$measure" _ x11 Xvfb | report x11
  awk '{ cpu[$1] = $3 / $4; ours[$1] = $2 / $4 } END {
    printf "ratio portal/x11: CPU per new picture %.2f (ours alone %.2f)\n", cpu["portal"] / cpu["x11"], ours["portal"] / ours["x11"] }' "$results"
done
echo "ms: CPU milliseconds per new picture; all: ours + the display side's extra while recording;"
echo "new: pictures taken / frame slots in the file; sent: pictures the portal delivered (rpl: of"
echo "those, replaced by a newer one before a frame slot took them)"
