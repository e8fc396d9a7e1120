#!/usr/bin/env bash
# Builds the benchmarks and prints all their figures in one run:
#   encoder   per-picture cost of the encoder and of each colour conversion
#   manager   CPU per frame, sustained frame rate and peak memory through the C interface
#   capture   murovent-record against ffmpeg's x11grab on the same Xvfb (idle, typing, desktop,
#             full motion at 1080p and 2160p), and the Wayland portal path against X11 on the
#             same content
#   audio     screen + system sound against ffmpeg's x11grab + pulse, and the A/V offsets
#   longrun   an hour (BENCH_SECONDS) with system sound: memory, timeline, CPU per frame
#   fuzz      libFuzzer over the theme file reader, the server replies and cache, and the
#             command line's option parser (BENCH_FUZZ_RUNS inputs each, default 1000000)
# Figures only mean something on an otherwise idle machine.
#
#   bench/run.sh [NAME...]    (default: all of them)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench"
"$top/scripts/setup.sh" || exit 1
"$top/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DMUROVENT_BUILD_TESTS=OFF \
  -DMUROVENT_BUILD_BENCH=ON >/dev/null || exit 1

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(encoder manager capture audio longrun fuzz)
status=0
for name in "${names[@]}"; do
  echo "===== $name ====="
  case "$name" in
    fuzz)
      for target in config server options; do
        "$top/bench/fuzz/run.sh" "$target" "${BENCH_FUZZ_RUNS:-1000000}" || status=1
      done ;;
    *) "$top/bench/$name/run.sh" "$build" || status=1 ;;
  esac
  echo
done
exit $status
