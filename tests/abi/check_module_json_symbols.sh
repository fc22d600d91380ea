#!/usr/bin/env bash
# vornk.so takes jsoncpp from the process that loads it, and a controller may carry an older
# jsoncpp than the build machine: every jsoncpp symbol the module leaves undefined must be in the
# allow-list, so that a new call is a deliberate decision. Names are compared demangled, without
# the [abi:cxx11] tags.
# Usage: check_module_json_symbols.sh MODULE ALLOW_LIST [NM]; NM defaults to the build machine's.
set -euo pipefail
module=$1
allow_list=$2
nm=${3:-nm}
export LC_ALL=C

# Mangled names select what jsoncpp defines (functions, data, vtables and typeinfo of namespace
# Json) and leave out the host's functions that merely take a Json::Value. The same listing,
# demangled and unsorted, gives the names line for line.
undefined() { "$nm" -D --undefined-only --no-sort --without-symbol-versions -j "$@" "$module"; }
used=$(paste -d '\t' <(undefined) <(undefined --demangle) |
  awk -F '\t' '$1 ~ /^_Z(T[VIST]|GV|TH|TW)?Z?N[rVK]*[RO]?4Json/ {print $2}' |
  sed 's/\[abi:cxx11\]//g' | sort -u)
allowed=$(sed -e 's/#.*//' -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' "$allow_list" |
  grep -v '^$' | sort -u || true)

unexpected=$(comm -23 <(echo "$used") <(echo "$allowed") | grep -v '^$' || true)
unused=$(comm -13 <(echo "$used") <(echo "$allowed") | grep -v '^$' || true)

if [ -n "$unused" ]; then
  echo "note: allowed jsoncpp calls vornk.so no longer makes:"
  sed 's/^/  /' <<<"$unused"
fi
if [ -n "$unexpected" ]; then
  echo "vornk.so makes jsoncpp calls that $(basename "$allow_list") does not allow:"
  sed 's/^/  /' <<<"$unexpected"
  echo "Add each to the list only once the controllers' jsoncpp versions are known to provide it."
  exit 1
fi
echo "vornk.so makes $(grep -c . <<<"$used") jsoncpp calls, all allowed"
