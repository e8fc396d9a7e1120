#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#   1. the normal build (with system sound): the whole suite;
#   2. the build without system sound: the program's tests that differ between the builds
#      (only their programs are built);
#   3. AddressSanitizer + UndefinedBehaviorSanitizer: the whole suite;
#   4. ThreadSanitizer: the encoder library's tests.
# Exits non-zero on any failure; each stage ends with ctest's summary line.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh" || exit 1

jobs=$(nproc)
status=0
stage() {  # stage NAME DIR CTEST_ARGS -- CMAKE_ARGS
  local name=$1 dir=$2; shift 2
  local ctest_args=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
  shift
  echo "=== $name ==="
  if ! "$top/scripts/build.sh" "$dir" "$@"; then
    echo "$name: build failed"; status=1; return
  fi
  (cd "$dir" && ctest --output-on-failure -j "$jobs" "${ctest_args[@]}") || status=1
}

stage "normal build" build -- -DCMAKE_BUILD_TYPE=RelWithDebInfo
stage "build without system sound" build-nosys -L nosys -- --target mv_nosys_tests \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMUROVENT_SYSTEM_SOUND=OFF -DMUROVENT_BUILD_BENCH=OFF
stage "AddressSanitizer + UBSan" build-asan -- -DCMAKE_BUILD_TYPE=Debug -DMUROVENT_SANITIZE=address \
  -DMUROVENT_BUILD_BENCH=OFF
stage "ThreadSanitizer (library)" build-tsan -L zmav -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMUROVENT_SANITIZE=thread -DMUROVENT_BUILD_PROGRAM=OFF -DMUROVENT_BUILD_BENCH=OFF

[ $status -eq 0 ] && echo "all test stages passed" || echo "some test stage failed"
exit $status
