#!/usr/bin/env bash
# vornk.so against the foreign rendering of the host framework (tests/foreign_host): built through
# VORNK_HOST_INCLUDE_DIR and checked by scripts/check-host --native with the rendering's library,
# then loaded by foreign_round for one cycle and round; built and checked against the variant
# (variant/), the module alone. The check itself must fail where the module would: without the
# host's library, the host symbols fail and so does the verdict; against a copy of the rendering
# with the two LoadFromCache overloads swapped, check-host names both slots.
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

# jsoncpp alone: every other check holds, and the verdict fails all the same.
if output=$("$root/scripts/check-host" --native --build "$work/module" "$headers" \
  "$jsoncpp_library"); then
  fail "check-host passes without the host's library"
fi
grep -q "^FAILED   host symbols: none of the given libraries is the host's library$" <<<"$output" ||
  fail "without the host's library, check-host does not say so: $output"
grep -q '^verdict: 4 held, 1 failed, 0 skipped$' <<<"$output" ||
  fail "without the host's library, the verdict does not count one failure: $output"

"$root/scripts/check-host" --native --build "$work/variant-module" "$here/variant;${headers#*;}" \
  >"$work/variant.out" || fail "check-host fails against the variant: $(cat "$work/variant.out")"

# The copy: the two LoadFromCache overloads, slots 1 and 2, declared the other way round.
mkdir -p "$work/swapped"
sed '/virtual bool LoadFromCache(const std::string&);/{h;d}
     /virtual bool LoadFromCache(const unsigned char\*, int);/G' \
  "$here/host_framework.h" >"$work/swapped/host_framework.h"
if output=$("$root/scripts/check-host" --native --build "$work/swapped-module" \
  "$work/swapped;${headers#*;}" "$work/libforeignhost.so" "$jsoncpp_library"); then
  fail "check-host passes against a copy with two slots swapped"
fi
for slot in 'slot 1 holds LoadFromCache(bytes, int) where the contract puts LoadFromCache(text)' \
  'slot 2 holds LoadFromCache(text) where the contract puts LoadFromCache(bytes, int)'; do
  grep -qF "$slot" <<<"$output" || fail "against the swapped copy, check-host does not say: $slot"
done
[ $status -ne 0 ] || echo "foreign host: check-host holds against the rendering and its variant," \
  "the round holds, a missing host library and swapped overloads fail the check"
exit $status
