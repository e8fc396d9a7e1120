#!/bin/sh
# Every text of the program has its English translation: lupdate, run over the sources into a
# copy of the translation file, leaves no entry unfinished.
#   translations_complete.sh LUPDATE TS_FILE SOURCE...
set -eu
lupdate=$1 ts=$2
shift 2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$ts" "$dir/copy.ts"
"$lupdate" -silent -no-obsolete -locations none "$@" -ts "$dir/copy.ts"
if grep -q 'type="unfinished"' "$dir/copy.ts"; then
  grep -B3 'type="unfinished"' "$dir/copy.ts" >&2
  echo "these texts have no English translation: build the target mv_resources_lupdate and translate them in $ts" >&2
  exit 1
fi
