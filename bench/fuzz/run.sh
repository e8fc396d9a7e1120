#!/usr/bin/env bash
# Fuzzes the readers of outside input with libFuzzer:
#   config   the markup parser and the theme store's reader (theme files)
#   server   the product server's replies and the server cache (parsing and unscrambling)
#   options  murovent-record's option parser
#
#   run.sh TARGET [LIMIT] [WORKDIR]
#
# LIMIT is a number of inputs (1000000) or of seconds ("5s"); default 60s. Builds the target
# with clang++ straight from the sources (rebuilt when a source is newer than the binary), runs
# it in WORKDIR (default: a new temporary folder) from the seeds in seeds/TARGET, and prints
# how many inputs it ran in how long and how many failures it found. Exits non-zero on a failure.
set -euo pipefail
target=${1:?usage: run.sh config|server|options [LIMIT] [WORKDIR]}
limit=${2:-60s}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=${3:-$(mktemp -d /tmp/mvfuzz.XXXXXX)}
mkdir -p "$work/corpus-$target"
work=$(cd "$work" && pwd)

config="$top/murovent/config" server="$top/murovent/server" common="$top/murovent/common"
record="$top/tools/record"
case "$target" in
  config)
    sources=("$config/markupdocument.cpp" "$config/markupencoding.cpp" "$config/markupentities.cpp"
             "$config/zm_configuser.cpp" "$config/zm_configmgr.cpp" "$config/zm_configlog.cpp"
             "$common/zm_global.cpp" "$common/md5.cpp")
    flags=(-I"$config" -I"$top/murovent") packages=(Qt6Core) ;;
  server)
    sources=("$server/serverinfostore.cpp" "$server/untrustedjson.cpp" "$common/zm_global.cpp"
             "$common/md5.cpp" "$common/zm_identity.cpp" "$common/zm_userdirs.cpp")
    flags=(-I"$server" -I"$common" -I"$top/zmav/include") packages=(Qt6Core Qt6Network jsoncpp) ;;
  options)
    sources=("$record/zm_recordoptions.cpp")
    flags=(-I"$record" -DZM_SYSTEM_SOUND=1) packages=(Qt6Core) ;;
  *) echo "run.sh: unknown target $target (config, server or options)" >&2; exit 2 ;;
esac
sources=("$here/fuzz_$target.cpp" "${sources[@]}")
binary="$work/fuzz_$target"
rebuild=0
[ -x "$binary" ] || rebuild=1
for f in "${sources[@]}" "$config"/*.h "$server"/*.h "$common"/*.h "$record"/*.h; do
  [ "$f" -nt "$binary" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
  # shellcheck disable=SC2046
  clang++ -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    "${flags[@]}" $(pkg-config --cflags "${packages[@]}") "${sources[@]}" -o "$binary.new" \
    $(pkg-config --libs "${packages[@]}")
  mv "$binary.new" "$binary"
fi

case "$limit" in
  *s) stop=(-max_total_time="${limit%s}") ;;
  *) stop=(-runs="$limit") ;;
esac
# The theme store also reads its own file from the working directory: keep that empty.
cd "$work"
log="$work/fuzz-$target.log"
status=0
start=$(date +%s%N)
"$binary" "${stop[@]}" -max_len=4096 -timeout=10 -print_final_stats=1 \
  "$work/corpus-$target" "$here/seeds/$target" >"$log" 2>&1 || status=$?
seconds=$(( ($(date +%s%N) - start + 500000000) / 1000000000 ))
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
failures=$([ $status -eq 0 ] && echo 0 || echo 1)
printf 'fuzz_%s: %s inputs in %s s, %s failures, corpus %s files\n' "$target" "${runs:-0}" "$seconds" \
  "$failures" "$(ls "$work/corpus-$target" | wc -l)"
if [ $status -ne 0 ]; then
  grep -v '^-------- ZMConfigUser\|^> \|^---------------------------------------$' "$log" | tail -n 60
  exit $status
fi
