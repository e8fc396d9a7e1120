#!/usr/bin/env bash
# check_demo.sh DEMO_BINARY: makes a demo recording and checks it with ffprobe.
set -euo pipefail
demo=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
out="$dir/demo clip.mp4"

"$demo" "$out" | tee "$dir/said"
grep -q "wrote $out" "$dir/said"

streams=$(ffprobe -v error -count_packets \
  -show_entries stream=index,codec_name,width,height,sample_rate,channels,nb_read_packets \
  -of csv=p=0 "$out")
echo "$streams"
video=$(sed -n 1p <<<"$streams")
audio=$(sed -n 2p <<<"$streams")
fail() { echo "FAIL: $*"; exit 1; }
[[ $video == 0,h264,640,360,125 ]] || fail "video stream: $video"
[[ $audio == 1,aac,44100,2,* ]] || fail "audio stream: $audio"

duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out")
awk -v d="$duration" 'BEGIN { exit !(d > 4.95 && d < 5.1) }' || fail "duration $duration"

# The tone survives: sox reports the decoded frequency estimate on the first channel.
ffmpeg -v error -i "$out" -vn -ac 1 -f s16le -ar 44100 "$dir/tone.raw"
freq=$(sox -t raw -r 44100 -c 1 -e signed -b 16 "$dir/tone.raw" -n stat 2>&1 | awk '/Rough   frequency/ {print $3}')
awk -v f="$freq" 'BEGIN { exit !(f > 430 && f < 450) }' || fail "tone frequency $freq"
