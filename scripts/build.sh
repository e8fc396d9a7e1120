#!/usr/bin/env bash
# build.sh DIR [--target T] [cmake options...]: configures (once) and builds one build tree,
# or only target T and what it needs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
target=()
if [ "${1:-}" = --target ]; then target=(--target "$2"); shift 2; fi
cmake -S "$top" -B "$dir" -G "Unix Makefiles" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${target[@]}"
