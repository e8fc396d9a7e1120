#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
out="$top/build/demo.mp4"
"$top/build/tools/demo/murovent-demo" "$out"
