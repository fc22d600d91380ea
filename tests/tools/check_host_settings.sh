#!/usr/bin/env bash
# vornk-host with the model's configuration file in ./ini/ prints the import's lines, and
# threshold settings given with --settings load without any import line.
# Arguments: the command that runs vornk-host (an emulator may come first).
set -euo pipefail
host=("$@")
source "$(dirname "$0")/../support/script_helpers.sh"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
status=0

mkdir ini
printf '[AI]\nt1=A01,Supply air\n[ALARM]\na1=B02,door\n' >ini/vornk.ini
actual=$("${host[@]}" --data-id 12 --rounds 1 --output /dev/null | import_lines)
expected='parse ini/yaml filename:./ini/vornk.ini
alarmSignalIdMap_ a1 : B02
AI 12
first:t1 second:A01 name:Supply air'
if [ "$actual" != "$expected" ]; then
  printf 'configuration file: expected\n%s\ngot\n%s\n' "$expected" "$actual"
  status=1
fi

cat >settings.json <<'JSON'
{"appSetting": {"b_mode": 5},
 "thresholdSetting": {"a": {"ID": "S17", "SignalName": "t1", "UpValue": 30,
                            "UpReconverValue": 28, "UpAlarmLevel": 2}}}
JSON
actual=$("${host[@]}" --data-id 12 --rounds 1 --output /dev/null --settings settings.json | import_lines)
if [ "$actual" != "InitSetting 12 b_mode_:5" ]; then
  printf 'threshold settings: expected only the mode line, got\n%s\n' "$actual"
  status=1
fi
exit $status
