#!/usr/bin/env bash
# The installed program, used as a user would on a first run: it starts in an empty folder,
# takes the built-in hot keys, records with the hot keys (start, pause, resume, stop) while a second
# copy is refused, and leaves through the tray menu. Checks the recording and the files the
# program keeps.
#
#   e2e.sh BUILD_DIR SOURCE_DIR ARTEFACT_DIR      (SOURCE_DIR: the program's sources, murovent/)
#
# Needs the test environment's X server, tray host and sound server with a tone on the
# microphone (scripts/testenv --tray --pulse --tone 440).
set -uo pipefail

build=$1 sources=$2 artefacts=$3
server_script=$sources/tests/server/product_server.py preset=$sources/config/cfg/user-pre.cfg
work=$(mktemp -d /tmp/mv-e2e.XXXXXX)
prefix=$work/prefix run=$work/run
mkdir -p "$run" "$work/tmp" "$work/home" "$work/cache"
pids=()

cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e: FAIL: $*" >&2; exit 1; }
note() { echo "e2e: $*"; }

# Without a window manager the focus can end at None, where keys are dropped.
focus_pointer_root() {
  python3 -c 'import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6"); x.XOpenDisplay.restype = ctypes.c_void_p
d = ctypes.c_void_p(x.XOpenDisplay(None)); x.XSetInputFocus(d, 1, 1, 0); x.XCloseDisplay(d)'
}

# windows PID: the visible windows of that process, one "id width height title" a line.
# (xdotool's name search does not match these UTF-8 titles reliably: titles are compared here.)
windows() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$1" "" 2>/dev/null); do
    [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$1" ] || continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    echo "$w $WIDTH $HEIGHT $(xdotool getwindowname "$w")"
  done
}

# window PID TITLE: the id of a visible window of that process with exactly that title.
window() {
  windows "$1" | while read -r id _ _ title; do [ "$title" = "$2" ] && { echo "$id"; break; }; done
}

# wait_window PID TITLE SECONDS
wait_window() {
  local deadline=$((SECONDS + $3)) id
  while [ $SECONDS -lt "$deadline" ]; do
    id=$(window "$1" "$2")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# sleep_until T: sleeps until T seconds after the recording's first key.
sleep_until() { sleep "$(awk -v t0="$t0" -v t="$1" -v now="$(date +%s.%N)" 'BEGIN { d = t0 + t - now; print (d > 0 ? d : 0) }')"; }

# answer WINDOW: presses Return in a message box (its default button).
answer() {
  xdotool windowfocus "$1"
  sleep 0.2
  xdotool key Return
}

# ---- install and environment ----------------------------------------------------------------
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
program=$prefix/bin/murovent
[ -x "$program" ] || fail "no installed program"
export LD_LIBRARY_PATH=$prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
libraries=$(ldd "$program")
grep -q "libZMAV.so.* => $prefix/lib/" <<<"$libraries" || fail "the installed program does not use the installed library"
# Another program builds against the installed library through its pkg-config file.
printf '#include <zmav/zmav.h>\nint main(void) { return ZMAV_GetWriteFailures(0, 0); }\n' >"$work/user.c"
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs ZMAV) || fail "no ZMAV.pc"
# A sanitized library needs its runtime linked first into the program that uses it.
# (ldd's list is read whole: grep -q leaving early could break the pipe and, with pipefail, fail
# the test even though it matched.)
sanitizer=()
needs=$(ldd "$prefix"/lib/libZMAV.so)
grep -q libasan <<<"$needs" && sanitizer=(-fsanitize=address,undefined)
grep -q libtsan <<<"$needs" && sanitizer=(-fsanitize=thread)
cc -std=c11 "${sanitizer[@]}" "$work/user.c" $flags -o "$work/user" && "$work/user" ||
  fail "building against ZMAV.pc ($flags)"

cat >"$work/server.json" <<'EOF'
{"getProductInfo": {"body": "{\"version\":\"3.2.2\",\"canUseMinVersion\":\"3.0.0\",\"productName\":\"Murovent\"}"},
 "useReport": {"body": "{\"result\":0}"}}
EOF
python3 "$server_script" "$work/server.json" "$work/server.log" >"$work/server.out" &
pids+=($!)
for _ in $(seq 100); do grep -q '^PORT ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$work/server.out")
[ -n "$port" ] || fail "product server did not start"

export TMPDIR=$work/tmp HOME=$work/home XDG_CACHE_HOME=$work/cache MUROVENT_SERVER_URL=http://127.0.0.1:$port
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
cd "$run" || fail "no working folder"

# ---- first start ------------------------------------------------------------------------------
"$program" >"$work/out1.txt" 2>"$work/err1.txt" &
pid=$!
pids+=($pid)
main_title='Murovent --[iZolmet && KX]Zolmet出品'
main=$(wait_window $pid "$main_title" 20) || fail "no main window"
note "main window $main"
# No keys file yet: the built-in keys are taken and written down without a question.
wait_window $pid '提示' 4 >/dev/null && fail "a message on the first run"
[ "$(cat hotkey.cfg 2>/dev/null)" = "$(printf 'Ctrl+F1\nCtrl+F3')" ] || fail "first run: hotkey.cfg not written"
mkdir -p "$artefacts"
import -window "$main" "$artefacts/e2e-main-window.png" || fail "screenshot"
note "screenshot $artefacts/e2e-main-window.png"
cmp -s user_win7.cfg "$preset" || cmp -s user_xp.cfg "$preset" || fail "the user file is not a copy of the built-in themes"

# ---- recording by hot keys, a second copy meanwhile -----------------------------------------
# The last used built-in theme starts three seconds after the key: 4 s recorded, a 2 s
# pause, 2 s more.
focus_pointer_root
t0=$(date +%s.%N)
xdotool key ctrl+F1
# The second copy comes while the first records.
sleep_until 3.5
"$program" >"$work/out2.txt" 2>"$work/err2.txt" &
second=$!
pids+=($second)
guard=$(wait_window $second 'Murovent [Zolmet]' 15) || fail "the second copy shows no message"
[ -z "$(window $second "$main_title")" ] || fail "the second copy opened a main window"
answer "$guard"
wait $second
rc=$?
[ $rc -eq 0 ] || fail "the second copy ended with $rc"
kill -0 $pid 2>/dev/null || fail "the first copy died"
for step in "7 ctrl+F1" "9 ctrl+F1" "11 ctrl+F3"; do
  sleep_until "${step% *}"
  focus_pointer_root
  xdotool key "${step#* }"
done
sleep 1

movie=$(ls "$HOME"/KX~*.mp4 2>/dev/null | head -n1)
[ -n "$movie" ] || fail "no recording in the home folder"
streams=$(ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 "$movie" | tr '\n' ' ')
[ "$streams" = "h264,video aac,audio " ] || fail "streams: $streams"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie")
awk -v d="$duration" 'BEGIN { exit !(d >= 5.0 && d <= 7.0) }' || fail "duration $duration, expected about 6 s"
errors=$(ffmpeg -v error -i "$movie" -f null - 2>&1 | head -n3)
[ -z "$errors" ] || fail "decoding: $errors"
# The microphone hears the tone: the sound track is not silence.
volume=$(ffmpeg -v info -i "$movie" -vn -af volumedetect -f null - 2>&1 | sed -n 's/.*mean_volume: \(-*[0-9.]*\) dB/\1/p')
awk -v v="$volume" 'BEGIN { exit !(v != "" && v > -40) }' || fail "sound track mean volume $volume dB"
note "recording $movie: $streams, ${duration}s, mean volume ${volume} dB"

# ---- leaving through the tray menu ---------------------------------------------------------------
icon=$(windows $pid | while read -r id width height _; do
  [ "$width" -le 64 ] && [ "$height" -le 64 ] && [ "$width" -ge 8 ] && { echo "$id"; break; }
done)
[ -n "$icon" ] || fail "no tray icon"
xdotool mousemove --window "$icon" 5 5 click 3
sleep 1
# The menu holds start/pause, stop and exit; from no selection Up reaches the last one.
xdotool key Up Return
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "the program is still running after 退出程序"
wait $pid
rc=$?
[ $rc -eq 0 ] || fail "the program ended with $rc"

# ---- signals, a kill, and the next start ------------------------------------------------------
# finished FILE: no fragment left, the index last (a regular MP4).
finished() {
  python3 - "$1" <<'PY'
import struct, sys
f = open(sys.argv[1], 'rb'); types = []; pos = 0
while True:
    f.seek(pos); h = f.read(8)
    if len(h) < 8: break
    size, kind = struct.unpack('>I4s', h); types.append(kind)
    if size < 8: break
    pos += size
sys.exit(0 if b'moof' not in types and types and types[-1] == b'moov' else 1)
PY
}
# record_then SIGNALS: starts the program, records with the hot key and sends the signals, 10 ms
# apart, 3.5 s into the recording; the new file's name is left in $movie and the program's pid
# in $pid. (Started in the background by this script, the program has SIGINT ignored, as
# programs started by a shell without job control do, and keeps it so.)
record_then() {
  local before
  before=$(ls "$HOME"/KX~*.mp4)
  "$program" >>"$work/out3.txt" 2>>"$work/err3.txt" &
  pid=$!
  pids+=($pid)
  wait_window $pid "$main_title" 20 >/dev/null || fail "no main window"
  sleep 1
  focus_pointer_root
  t0=$(date +%s.%N)
  xdotool key ctrl+F1
  sleep_until 6.5
  for s in $1; do kill -s "$s" $pid; sleep 0.01; done
  movie=$(comm -13 <(echo "$before") <(ls "$HOME"/KX~*.mp4) | head -n1)
  [ -n "$movie" ] || fail "no new recording before SIG$1"
}
for signals in TERM "HUP TERM"; do
  record_then "$signals"
  start=$SECONDS
  wait $pid
  rc=$?
  [ $rc -eq 0 ] || fail "after SIG$signals the program ended with $rc"
  [ $((SECONDS - start)) -le 3 ] || fail "the exit sequence after SIG$signals took $((SECONDS - start)) s"
  finished "$movie" || fail "after SIG$signals $movie is not finished"
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie")
  awk -v d="$duration" 'BEGIN { exit !(d >= 2.5 && d <= 4.5) }' || fail "after SIG$signals: duration $duration"
  errors=$(ffmpeg -v error -ss 1.5 -i "$movie" -frames:v 1 -f null - 2>&1 | head -n3)
  [ -z "$errors" ] || fail "seeking into $movie: $errors"
  note "SIG$signals: exit 0, $movie finished, ${duration}s, seekable"
done
grep -c 'useState=0' "$work/server.log" | grep -q '^3$' || fail "an exit report for every signalled exit"

# Killed while recording: the file plays as it is, and the next start finishes it and says so.
record_then KILL
wait $pid 2>/dev/null
finished "$movie" && fail "a killed recording cannot have been finished"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie")
awk -v d="$duration" 'BEGIN { exit !(d >= 2.0) }' || fail "killed at 3.5 s, $movie plays ${duration}s"
"$program" >>"$work/out3.txt" 2>>"$work/err3.txt" &
pid=$!
pids+=($pid)
box=$(wait_window $pid '提示' 15) || fail "no message about the interrupted recording"
answer "$box"
finished "$movie" || fail "the next start did not finish $movie"
errors=$(ffmpeg -v error -i "$movie" -f null - 2>&1 | head -n3)
[ -z "$errors" ] || fail "decoding the recovered $movie: $errors"
kill -TERM $pid
wait $pid
[ $? -eq 0 ] || fail "SIGTERM without a recording"
note "killed recording: played ${duration}s as it was, finished at the next start"

# Under a file-size limit the first failed write stops the recording with a message box; the
# panel goes back to idle and the file plays up to the failure (finished in place when its
# index still fits under the limit).
before=$(ls "$HOME"/KX~*.mp4)
(ulimit -f 40; exec "$program" >>"$work/out3.txt" 2>>"$work/err3.txt") &
pid=$!
pids+=($pid)
wait_window $pid "$main_title" 20 >/dev/null || fail "no main window under a size limit"
sleep 1
focus_pointer_root
xdotool key ctrl+F1
box=$(wait_window $pid '提示' 60) || fail "no message when the file-size limit was reached"
answer "$box"
sleep 0.5
kill -0 $pid 2>/dev/null || fail "the panel ended at the write error"
movie=$(comm -13 <(echo "$before") <(ls "$HOME"/KX~*.mp4) | head -n1)
errors=$(ffmpeg -v error -i "$movie" -f null - 2>&1 | head -n3)
[ -z "$errors" ] || fail "decoding $movie after the write error: $errors"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie")
awk -v d="$duration" 'BEGIN { exit !(d >= 1.0) }' || fail "after the write error $movie plays ${duration}s"
kill -TERM $pid
wait $pid
[ $? -eq 0 ] || fail "SIGTERM after the write error"
note "file-size limit: message, back to idle, $movie plays ${duration}s"

# The settings' encoding choices (video.cfg, beside the themes): Matroska, a rate factor and a
# preset reach the file.
printf 'container=.mkv\nquality=30\npreset=fast\n' >video.cfg
"$program" >>"$work/out3.txt" 2>>"$work/err3.txt" &
pid=$!
pids+=($pid)
wait_window $pid "$main_title" 20 >/dev/null || fail "no main window with video.cfg"
sleep 1
focus_pointer_root
t0=$(date +%s.%N)
xdotool key ctrl+F1
sleep_until 6.5
kill -TERM $pid
wait $pid
movie=$(ls "$HOME"/KX~*.mkv 2>/dev/null | head -n1)
[ -n "$movie" ] || fail "no Matroska recording with container=.mkv"
format=$(ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 "$movie")
[ "$format" = "matroska,webm" ] || fail "$movie is $format"
grep -aq 'crf=30.0' "$movie" && grep -aq 'subme=6' "$movie" || fail "$movie: rate factor or preset not applied"
rm video.cfg
note "video.cfg: $movie, $format, crf 30, preset fast"

# ---- what it leaves behind -----------------------------------------------------------------------
[ "$(cat hotkey.cfg)" = "$(printf 'Ctrl+F1\nCtrl+F3')" ] || fail "hotkey.cfg: $(cat hotkey.cfg)"
user=$(ls user_win7.cfg user_xp.cfg 2>/dev/null | head -n1)
[ -n "$user" ] || fail "no user file"
[ "$(grep -c '<Node>' "$user")" -eq 4 ] || fail "$user does not hold the four themes"
grep -q '<LastUseIdx>3</LastUseIdx>' "$user" || fail "$user: last used theme"
grep -q "<savePath>$HOME</savePath>" "$user" || fail "$user: the theme's folder is not the home folder"
grep -q '<timerDelaySec>3</timerDelaySec>' "$user" || fail "$user: no timer values"
[ -s "$XDG_CACHE_HOME/murovent/mr.cfg" ] || fail "no server cache in the user's cache folder"
grep -q 'proVerInfo' "$XDG_CACHE_HOME/murovent/mr.cfg" && fail "the server cache is stored in clear"
[ -e "$TMPDIR/mr.cfg" ] && fail "the server cache is in the shared temporary folder"
grep -q 'useState=1' "$work/server.log" || fail "no start-up report"
grep -q 'useState=0' "$work/server.log" || fail "no exit report"
note "passed"
