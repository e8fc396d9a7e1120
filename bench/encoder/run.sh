#!/usr/bin/env bash
# run.sh BUILD_DIR [benchmark options...]: runs the encoder benchmark built in BUILD_DIR
# (configured with -DMUROVENT_BUILD_BENCH=ON, target bench_encoder) and prints, per case,
# milliseconds per picture, pictures per second and CPU milliseconds per picture (the repeat
# cases count every thread of the process, the others the benchmark's own).
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [benchmark options...]}
shift
bin="$build/bench/encoder/bench_encoder"
[ -x "$bin" ] || { echo "run.sh: $bin not built (cmake --build $build --target bench_encoder)" >&2; exit 1; }
"$bin" --benchmark_min_time=2 --benchmark_format=csv "$@" 2>/dev/null |
awk -F, '
  /^name,/ { for (i = 1; i <= NF; i++) col[$i] = i; next }
  col["name"] && NF > 3 {
    name = $col["name"]; gsub(/"/, "", name)
    ms = $col["real_time"]; cpu = $col["cpu_time"]; unit = $col["time_unit"]
    f = unit == "ns" ? 1e-6 : unit == "us" ? 1e-3 : unit == "s" ? 1e3 : 1
    ms *= f; cpu *= f
    printf "%-48s %8.3f ms/picture %9.1f pictures/s %8.3f CPU ms\n", name, ms, 1000 / ms, cpu
  }'
