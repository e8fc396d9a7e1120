#!/usr/bin/env bash
# run.sh BUILD_DIR [seconds [fps...]]: records desktop-like 1920x1080 pictures through the C
# interface (built in BUILD_DIR with -DMUROVENT_BUILD_BENCH=ON, target bench_manager) and
# prints CPU per recorded frame, the highest frame rate sustained without losing frame slots
# and the peak resident memory. Figures are only meaningful on an otherwise idle machine.
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [seconds [fps...]]}
shift
bin="$build/bench/manager/bench_manager"
[ -x "$bin" ] || { echo "run.sh: $bin not built (cmake --build $build --target bench_manager)" >&2; exit 1; }
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
if [ $# -gt 0 ]; then
  exec "$bin" "$@"
fi
# The recording at 30 fps runs in a process of its own, so that its peak memory is not that
# of the faster rates of the search.
echo "--- 30 fps"
"$bin" 8 30
echo "--- sustained rate search"
"$bin" 5 30 45 60 90 120 150 180 240 | grep -v "^video"
