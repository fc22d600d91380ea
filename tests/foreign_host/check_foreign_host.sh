#!/usr/bin/env bash
# vornk.so against the foreign rendering of the host framework (tests/foreign_host): built through
# VORNK_HOST_INCLUDE_DIR and checked by scripts/check-host --native with the rendering's library,
# then loaded by foreign_round for one cycle and round; without LIBRARY, check-host reports the
# library check skipped; and against a copy of the rendering with two slots swapped, check-host
# fails naming them.
# Usage: check_foreign_host.sh WORK_DIR CXX JSONCPP_LIBRARY INCLUDE_DIR...
#   INCLUDE_DIR: the folders of jsoncpp's and Boost's headers, which the rendering includes
set -euo pipefail
work=$(mkdir -p "$1" && cd "$1" && pwd)
cxx=$2
jsoncpp_library=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
headers=$(IFS=';'; echo "$here;$*")
flags=(-std=c++17 -O1 -g -Wall -Wextra -pthread -I"$here")
for folder in "$@"; do [ -z "$folder" ] || flags+=(-I"$folder"); done
[ "${CI:-}" != true ] || flags+=(-Werror)
status=0
fail() {
  echo "foreign host: $*" >&2
  status=1
}

"$cxx" "${flags[@]}" -fPIC -shared "$here/foreign_host.cpp" -o "$work/libforeignhost.so" \
  "$jsoncpp_library"

"$root/scripts/check-host" --native --build "$work/module" "$headers" "$work/libforeignhost.so" \
  "$jsoncpp_library" || fail "check-host fails against the rendering and its library"

"$cxx" "${flags[@]}" -I"$root" "$here/foreign_round.cpp" -o "$work/foreign_round" \
  -L"$work" -Wl,-rpath,"$work" -lforeignhost "$jsoncpp_library" -ldl
# The module's own lines go to a file; the program's verdict is its last line.
if "$work/foreign_round" "$work/module/vornk.so" >"$work/round.out"; then
  tail -n 1 "$work/round.out"
else
  fail "the round against the rendering failed"
fi

output=$("$root/scripts/check-host" --native --build "$work/module" "$headers") ||
  fail "check-host fails against the rendering without LIBRARY"
grep -q '^skipped  host symbols: no LIBRARY given$' <<<"$output" ||
  fail "without LIBRARY, check-host does not report the library check skipped: $output"

# The copy: ReadDi and ReadAi, slots 20 and 21, declared the other way round.
mkdir -p "$work/swapped"
sed -E 's/(virtual int Read)Di\(/\1XX(/; s/(virtual int Read)Ai\(/\1Di(/; s/(virtual int Read)XX\(/\1Ai(/' \
  "$here/host_framework.h" >"$work/swapped/host_framework.h"
if output=$("$root/scripts/check-host" --native --build "$work/swapped-module" \
  "$work/swapped;${headers#*;}" "$work/libforeignhost.so" "$jsoncpp_library"); then
  fail "check-host passes against a copy with two slots swapped"
fi
for slot in 'slot 20 holds ReadAi(int) where the contract puts ReadDi' \
  'slot 21 holds ReadDi(int) where the contract puts ReadAi'; do
  grep -qF "$slot" <<<"$output" || fail "against the swapped copy, check-host does not say: $slot"
done
[ $status -ne 0 ] || echo "foreign host: check-host holds, the round holds, the swapped slots are named"
exit $status
