#!/usr/bin/env bash
# Fuzzes the markup parser and the theme store's reader with libFuzzer.
#
#   run.sh [SECONDS] [WORKDIR]
#
# Builds the fuzz target with clang++ straight from the sources (rebuilt when a source is newer
# than the binary), runs it for SECONDS (default 60) in WORKDIR (default: a new temporary
# folder) starting from the seeds here and the built-in preset, and prints how many inputs it
# ran. Exits non-zero when the target crashes or finds a fault.
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=${2:-$(mktemp -d /tmp/mvfuzz.XXXXXX)}
mkdir -p "$work/corpus"
work=$(cd "$work" && pwd)

config="$top/murovent/config"
sources=("$here/fuzz_config.cpp" "$config/markupdocument.cpp" "$config/markupencoding.cpp"
         "$config/markupentities.cpp" "$config/zm_configuser.cpp" "$config/zm_configmgr.cpp")
binary="$work/fuzz_config"
rebuild=0
[ -x "$binary" ] || rebuild=1
for f in "${sources[@]}" "$config"/*.h; do
  [ "$f" -nt "$binary" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
  # shellcheck disable=SC2046
  clang++ -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$config" $(pkg-config --cflags Qt6Core) "${sources[@]}" -o "$binary.new" $(pkg-config --libs Qt6Core)
  mv "$binary.new" "$binary"
fi

# The store also reads its own file from the working directory: keep that empty.
cd "$work"
log="$work/fuzz.log"
status=0
"$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
  "$work/corpus" "$here/seeds" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
echo "fuzz_config: ${runs:-0} inputs in ${seconds} s, corpus $(ls "$work/corpus" | wc -l) files"
if [ $status -ne 0 ]; then
  grep -v '^-------- ZMConfigUser\|^> \|^---------------------------------------$' "$log" | tail -n 60
  exit $status
fi
