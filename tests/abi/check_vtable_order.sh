#!/usr/bin/env bash
# The virtual slots of vornk, as g++'s class-layout dump (-fdump-lang-class) lays them out, come in
# the host's order: the host's device operations, then the two the data device adds. The host
# calls them by slot, so any other order calls the wrong function on the controller.
# Overloads share a name in the dump; virtual_slot_test.cpp checks their order among themselves.
# Usage: check_vtable_order.sh CLASS_DUMP
set -euo pipefail
dump=$1

expected=(
  Get_Value LoadFromCache LoadFromCache DataId DeviceType DeviceIoControl RoundDone
  UseControllerDb '~vornk' '~vornk' Reset InitV Init InitSetting IsSupportDevice GetChildVDevice
  GetAllChildVDevices SendSP SendDelayData SendDoData ReadDi ReadAi Get_SP_Value process
  process_data OnConnected RefreshStatus StartSocket CloseSocket
  SendSocketData SendSocketData SendSocketData SendSocketData
  RunCheckThreshold GenJsonData
)

# The table's lines: offset, then "(int (*)(...))Class::function"; the first two slots hold the
# offset to the top and the type information.
actual=$(awk '/^Vtable for vornk$/ {found = 1; next} found && /^$/ {exit} found' "$dump" |
         grep -F '(int (*)(...))' | tail -n +3 | sed -E 's/.*\)\)//; s/.*:://')
if [ -z "$actual" ]; then
  echo "no virtual table of vornk in $dump"
  exit 1
fi

if ! diff <(printf '%s\n' "${expected[@]}") <(printf '%s\n' "$actual"); then
  echo "vornk's virtual slots differ from the host's order (< expected, > found)"
  exit 1
fi
echo "vornk's ${#expected[@]} virtual slots are in the host's order"
