#!/usr/bin/env bash
# Screen with system sound: murovent's recording path (capture facade + ZMAV) against ffmpeg's
# x11grab + pulse, each recording the same 1920x1080 Xvfb at 30 fps with the default output's
# monitor for 20 s while a client flashes the screen and beeps once a second. Prints CPU
# seconds per frame for both and the beep/flash offsets measured in both files. Then ours again
# with the microphone and the system sound mixed, the beeps going into either, and the drift
# correction of the mix over half an hour of simulated time, at the full rate.
#
#   bench/audio/run.sh [BUILD_DIR]   (default: build; needs audio_bench, i.e. a build with
#                                     -DMUROVENT_BUILD_BENCH=ON and system sound)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd) || { echo "run.sh: no build folder" >&2; exit 2; }
bench="$build/bench/audio/audio_bench"
[ -x "$bench" ] || { echo "run.sh: $bench is missing (build with -DMUROVENT_BUILD_BENCH=ON)" >&2; exit 2; }
export BENCH=$bench SECONDS_TO_RECORD=${BENCH_SECONDS:-20}

exec "$here/../../scripts/testenv" --x --pulse -- bash -c '
  set -u
  out=$XDG_RUNTIME_DIR
  s=$SECONDS_TO_RECORD
  echo "== murovent: screen 1920x1080 at 30 fps + system sound, $s s"
  "$BENCH" record "$s" "$out/ours.mp4" 2>/dev/null

  echo "== ffmpeg: x11grab + pulse ($PULSE_SERVER, rec.monitor), libx264 ultrafast/zerolatency + aac, $s s"
  "$BENCH" flash "$s" 2>/dev/null &
  flasher=$!
  /usr/bin/time -f "%U %S" -o "$out/ffmpeg.time" ffmpeg -nostdin -loglevel error -y \
    -f x11grab -framerate 30 -video_size 1920x1080 -i "$DISPLAY" \
    -f pulse -i rec.monitor -t "$s" \
    -c:v libx264 -preset ultrafast -tune zerolatency -pix_fmt yuv420p -c:a aac "$out/ffmpeg.mp4"
  wait $flasher
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/ffmpeg.mp4")
  read u sy < "$out/ffmpeg.time"
  awk -v u="$u" -v s="$sy" -v f="$frames" -v t="$s" "BEGIN { printf \"ffmpeg: %.2f CPU s, %d frames (%d expected), %.2f ms CPU per frame\n\", u + s, f, t * 30, (u + s) * 1000 / f }"
  "$BENCH" measure "$out/ffmpeg.mp4" 2>/dev/null | sed "s/^file/ffmpeg/"

  for sink in rec micsink; do
    echo "== murovent: the same with microphone and system sound mixed, beeps into $sink"
    "$BENCH" record "$s" "$out/mixed-$sink.mp4" "$sink" 2>/dev/null
  done

  echo "== drift correction: two inputs 0.3 % fast and slow, 30 min simulated at 48000 Hz"
  "$BENCH" drift 30
'
