#!/usr/bin/env bash
# The module needs no newer GLIBC or GLIBCXX symbol version than docs/controller.md states the
# controller's runtime must provide.
# Usage: check_runtime_versions.sh MODULE READELF SOURCE_DIR
set -euo pipefail
module=$1
readelf=$2
source_dir=$3

needed=$("$source_dir/scripts/runtime-versions" "$module" "$readelf")
status=0
for version in $needed; do
  library=${version%_*}
  stated=$(grep -oE "\b${library}_[0-9.]*[0-9]" "$source_dir/docs/controller.md" | head -n 1 || true)
  if [ -z "$stated" ]; then
    echo "docs/controller.md states no ${library} version"
    status=1
  elif [ "$(printf '%s\n%s\n' "$version" "$stated" | sort -V | tail -n 1)" != "$stated" ]; then
    echo "vornk.so needs $version, newer than the $stated docs/controller.md states"
    status=1
  fi
done
[ $status -eq 0 ] && echo "vornk.so needs" $needed "(docs/controller.md: within what the controller provides)"
exit $status
