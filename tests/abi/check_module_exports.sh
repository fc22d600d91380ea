#!/usr/bin/env bash
# vornk.so exports get_providers alone, unmangled, and records a dependency on the C and C++
# runtime libraries only: the host library and jsoncpp come from the process that loads it. Built
# for 32-bit ARM, it passes floats in VFP registers (hard-float), as the controller's host does.
# Usage: check_module_exports.sh MODULE [NM READELF]; the binutils default to the build machine's.
set -euo pipefail
module=$1
nm=${2:-nm}
readelf=${3:-readelf}
status=0

exports=$("$nm" -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$exports" != "get_providers" ]; then
  echo "vornk.so must export only get_providers; it exports:"
  echo "$exports"
  status=1
fi

needed=$("$readelf" -d "$module" | awk '/NEEDED/ {print $NF}' | tr -d '[]')
others=$(grep -vE '^(libc|libm|libstdc\+\+|libgcc_s|libpthread|libdl|ld-linux[-a-z0-9_]*)\.so\.[0-9.]+$' <<<"$needed" || true)
if [ -n "$others" ]; then
  echo "vornk.so must need no library beyond the C and C++ runtimes; it needs:" $others
  status=1
fi

if "$readelf" -h "$module" | grep -qE 'Machine:[[:space:]]+ARM$'; then
  if ! "$readelf" -A "$module" | grep -q 'Tag_ABI_VFP_args: VFP registers'; then
    echo "vornk.so for ARM must pass floats in VFP registers (Tag_ABI_VFP_args)"
    status=1
  fi
  abi=", hard-float"
fi

[ $status -eq 0 ] && echo "vornk.so exports get_providers only${abi:-}; needs:" $needed
exit $status
