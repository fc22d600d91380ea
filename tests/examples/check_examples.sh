#!/usr/bin/env bash
# vornk-host run as docs/settings.md shows for each example, in the examples folder for one round:
# the settings import prints the lines the example is there to show, nothing is ignored, and the
# round completes.
# Usage: check_examples.sh EXAMPLES_DIR COMMAND...; COMMAND runs vornk-host (an emulator may come
# first).
set -euo pipefail
examples=$1
shift
host=("$@")
source "$(dirname "$0")/../support/script_helpers.sh"
points=$(point_count "${host[@]}")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$examples"
status=0

check() {
  local settings=$1 expected=$2
  if ! "${host[@]}" --settings "$settings" --rounds 1 >"$out/stdout" 2>"$out/stderr"; then
    printf '%s: vornk-host failed:\n' "$settings"
    grep -v '^  ' "$out/stderr" | tail -n 5  # without the points of a round shown
    status=1
    return
  fi
  local actual
  actual=$(import_lines <"$out/stdout")
  if [ "$actual" != "$expected" ]; then
    printf '%s: expected\n%s\ngot\n%s\n' "$settings" "$expected" "$actual"
    status=1
  fi
  if ! complete_rounds "$out/stderr" "$points" | grep '^round 1 data-id 1 ' >/dev/null; then
    printf '%s: no complete round shown\n' "$settings"
    status=1
  fi
}

# Mode 1 reads ini/vornk.ini: its alarm IDs, then the AI table in key order.
check settings/mode1.json 'InitSetting 1 b_mode_:1
parse ini/yaml filename:./ini/vornk.ini
alarmSignalIdMap_ fan_fault : 0413001010
alarmSignalIdMap_ filter_dirty : 0413002010
AI 1
first:humidity second:0411003020 name:Return air humidity
first:return_temp second:0411002020 name:Return air temperature
first:supply_temp second:0411001020 name:Supply air temperature'

# Mode 3 stores each member's identifier triple NMAlarmID;ID;SignalNumber.
check settings/mode3.json 'InitSetting 1 b_mode_:3
here 1
here 2
here return_temp
mobile:return_temp:7002;0411002020;2; level:0 value:0
here supply_temp
mobile:supply_temp:7001;0411001020;1; level:0 value:0'

# Mode 5 imports its bands without a line of its own (tests/examples/example_rounds_test.cpp
# evaluates them).
check settings/mode5.json 'InitSetting 1 b_mode_:5'

[ $status -eq 0 ] && echo "the examples for modes 1, 3 and 5 give their lines"
exit $status
