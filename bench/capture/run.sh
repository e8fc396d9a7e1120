#!/usr/bin/env bash
# Screen capture benchmark: murovent-record against ffmpeg's x11grab + libx264, both recording
# the same Xvfb for 20 s at 30 fps, one after the other on each content:
#   idle     a still desktop but for a clock-sized box changing once a second     (1920x1080)
#   typing   a character-sized box appearing 10 times a second                  (1920x1080)
#   desktop  a mostly still desktop, one small box changing 30 times a second    (1920x1080)
#   motion   every pixel changing every frame                           (1920x1080, 3840x2160)
# Prints per run: CPU milliseconds per frame of the file (user + system over the frames
# expected) and per new picture, new pictures against frames expected, peak memory, and the
# ratios ours/ffmpeg.
# Then the Wayland run (wayland.sh): the portal path on a headless Wayland desktop against X11
# on the same content.
#
#   bench/capture/run.sh [BUILD_DIR]     (default: build; needs murovent-record and capture_animate,
#                                          i.e. a build with -DMUROVENT_BUILD_BENCH=ON)
# BENCH_SECONDS sets the length of each recording, BENCH_RUNS the runs (CONTENT:WxH ...),
# BENCH_REPEAT how often each pair is recorded (then the pair with the median CPU ratio is
# printed too).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd) || { echo "run.sh: no build folder" >&2; exit 2; }
record="$build/tools/record/murovent-record"
animate="$build/bench/capture/capture_animate"
for f in "$record" "$animate"; do
  [ -x "$f" ] || { echo "run.sh: $f is missing (build with -DMUROVENT_BUILD_BENCH=ON)" >&2; exit 2; }
done
seconds=${BENCH_SECONDS:-20}
fps=30
expected=$((seconds * fps))
repeats=${BENCH_REPEAT:-1}

work=$(mktemp -d /tmp/mvbench-capture.XXXXXX)
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A fresh X server of the given size; its process id ends the list of pids.
start_xvfb() {
  rm -f "$work/displayfd"
  exec 3>"$work/displayfd"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.05; done
  [ -s "$work/displayfd" ] || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$work/displayfd")"
}

stop_last() {
  kill "${pids[-1]}" 2>/dev/null; wait "${pids[-1]}" 2>/dev/null; unset 'pids[-1]'
}

# time -v figures: CPU seconds (user + system) and peak RSS in MB.
cpu_of() { awk -F': ' '/User time|System time/ {s += $2} END {printf "%.2f", s}' "$1"; }
rss_of() { awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$1"; }
frames_in() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of default=nw=1:nk=1 "$1"
}

# Sets: cpu, rss, delivered (pictures taken from the screen, repeats not counted), slots.
run_ours() {
  local out="$work/ours.mp4"
  rm -f "$out"
  /usr/bin/time -v -o "$work/time.txt" "$record" --fps $fps --duration "$seconds" "$out" \
    >"$work/ours.log" 2>&1
  cpu=$(cpu_of "$work/time.txt"); rss=$(rss_of "$work/time.txt")
  slots=$(frames_in "$out")
  delivered=$(sed -n 's/.*new pictures \([0-9]*\).*/\1/p' "$work/ours.log")
}

run_ffmpeg() {
  local out="$work/ffmpeg.mp4"
  rm -f "$out"
  /usr/bin/time -v -o "$work/time.txt" ffmpeg -nostdin -y -loglevel error -stats \
    -f x11grab -framerate $fps -video_size "$size" -i "$DISPLAY" \
    -c:v libx264 -preset ultrafast -tune zerolatency -pix_fmt yuv420p -t "$seconds" "$out" \
    >"$work/ffmpeg.log" 2>&1
  cpu=$(cpu_of "$work/time.txt"); rss=$(rss_of "$work/time.txt")
  slots=$(frames_in "$out")
  local dup
  dup=$(tr '\r' '\n' <"$work/ffmpeg.log" | sed -n 's/.*dup=\([0-9]*\).*/\1/p' | tail -n1)
  delivered=$((slots - ${dup:-0}))
}

row() {
  awk -v c="$1" -v t="$2" -v cpu="$cpu" -v d="$delivered" -v s="$slots" -v e="$expected" -v r="$rss" \
    'BEGIN { printf "%-16s %-7s %9.2f %12.2f %14s (%d) %8s\n", c, t, cpu * 1000 / e, cpu * 1000 / (d ? d : 1),
                    d "/" s, e, r }'
}

ratio_line() {
  read -r per_frame per_picture memory <<<"$2"
  printf "%-16s ratios ours/ffmpeg: CPU per frame %s (per new picture %s), peak memory %s\n" \
    "$1" "$per_frame" "$per_picture" "$memory"
}

printf "capture benchmark: %s s at %d fps, %s cores, load %s\n" "$seconds" "$fps" "$(nproc)" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-16s %-7s %9s %12s %20s %8s\n" content tool "CPU ms/frame" "/new picture" \
  "new pictures/slots" "peak MB"
for run in ${BENCH_RUNS:-idle:1920x1080 typing:1920x1080 desktop:1920x1080 motion:1920x1080 motion:3840x2160}; do
  content=${run%%:*} size=${run#*:}
  label="$content ${size#*x}p"
  start_xvfb "$size"
  "$animate" "$content" &
  pids+=($!)
  sleep 1
  ratios=()
  for _ in $(seq "$repeats"); do
    run_ours
    o_cpu=$cpu o_rss=$rss o_del=$delivered
    row "$label" ours
    run_ffmpeg
    row "$label" ffmpeg
    ratios+=("$(awk -v oc="$o_cpu" -v od="$o_del" -v orss="$o_rss" -v fc="$cpu" -v fd="$delivered" -v fr="$rss" \
      'BEGIN { printf "%.2f %.2f %.2f", oc / fc, (oc / od) / (fc / fd), orss / fr }')")
    ratio_line "$label" "${ratios[-1]}"
  done
  # The host's noise moves single runs by a tenth or more; the median of the pairs holds.
  [ "$repeats" -gt 1 ] && ratio_line "$label median" \
    "$(printf '%s\n' "${ratios[@]}" | sort -n -k1,1 | sed -n "$(((repeats + 1) / 2))p")"
  stop_last  # the animation
  stop_last  # the server
done
echo "CPU ms/frame: user + system CPU over the frames expected; /new picture: over the pictures"
echo "taken from the screen (the other slots repeat a picture). Ours follows the screen's changes;"
echo "murovent-record --no-damage grabs everything, like ffmpeg."

# The portal path on a headless Wayland desktop against X11, at 1280x720.
echo
"$here/wayland.sh" "$build"
