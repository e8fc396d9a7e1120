#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on the user's desktop.
#
# Murovent keeps its themes (user_win7.cfg) and hot keys (hotkey.cfg) in its working folder;
# this script runs it from ~/.local/share/murovent so they persist between runs.
#
# Without an X display there is no desktop to show the panel on: the script says so, points
# to the command-line recorder, and demonstrates it by recording five seconds of a private
# X server with something moving on it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-run"
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMUROVENT_BUILD_TESTS=OFF \
  -DMUROVENT_BUILD_BENCH=ON >/dev/null

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  data="${XDG_DATA_HOME:-$HOME/.local/share}/murovent"
  mkdir -p "$data"
  cd "$data"
  echo "Starting Murovent on $DISPLAY (settings in $data; recordings go to your home folder by default)."
  exec "$build/murovent/murovent"
fi

echo "No X display is available, so the Murovent panel cannot be shown."
echo "Record from the command line instead:  $build/tools/record/murovent-record --help"
echo
echo "Demonstration: recording 5 s of a private X server with moving content ..."
out="$top/build-run/demo-recording.mp4"
"$top/scripts/testenv" --x --size 1280x720 -- bash -c '
  "$1/bench/capture/capture_animate" motion & anim=$!
  sleep 0.5
  "$1/tools/record/murovent-record" --fps 25 --duration 5 --cursor --overwrite "$2"
  status=$?
  kill $anim 2>/dev/null
  exit $status' _ "$build" "$out"
echo
echo "The recording is in: $out"
ffprobe -v error -show_entries stream=codec_name,width,height,nb_frames:format=duration -of compact "$out" || true
