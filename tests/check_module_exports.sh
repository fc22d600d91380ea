#!/usr/bin/env bash
# vornk.so exports get_providers alone and leaves the host library and jsoncpp to the process
# that loads it.
set -euo pipefail
module=$1
status=0

exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$exports" != "get_providers" ]; then
  echo "vornk.so must export only get_providers; it exports:"
  echo "$exports"
  status=1
fi

needed=$(readelf -d "$module" | awk '/NEEDED/ {print $NF}')
if grep -E 'zeqhost|jsoncpp' <<<"$needed"; then
  echo "vornk.so must not record a dependency on the host library or jsoncpp"
  status=1
fi

[ $status -eq 0 ] && echo "vornk.so exports get_providers only; needs: $(echo $needed | tr -d '[]')"
exit $status
