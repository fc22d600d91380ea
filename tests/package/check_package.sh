#!/usr/bin/env bash
# The controller's packages as scripts/package makes them: the .deb and the tarball hold the same
# files in the layout of cmake/packaging.cmake, stripped; both vornk.so builds pass the module's
# binary checks; lib/vornk/vornk.so is what the description says it is (the link to the stand-in
# build, or the controller's build); the .deb's Depends names the runtimes every packaged binary
# needs, at the versions docs/controller.md states; and the packaged vornk-host, under qemu-arm, completes
# a round with its own stand-in vornk.so against the packaged vornk-sim on 127.0.0.1 with the
# packaged mode-1 example.
# Usage: check_package.sh PACKAGE_DIR   (e.g. build-armhf/package)
set -euo pipefail
packages=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
arch=arm-linux-gnueabihf
source "$source_dir/tests/support/script_helpers.sh"
work=$(mktemp -d)
cleanup() {
  stop_devices
  rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() {
  echo "package: $*" >&2
  status=1
}

shopt -s nullglob
debs=("$packages"/*.deb)
tarballs=("$packages"/*.tar.gz)
shopt -u nullglob
if [ ${#debs[@]} -ne 1 ] || [ ${#tarballs[@]} -ne 1 ]; then
  echo "package: expected one .deb and one .tar.gz in $packages" >&2
  exit 1
fi
deb=${debs[0]}
echo "checking $(basename "$deb") and $(basename "${tarballs[0]}")"

# The same files in both, the tarball's below one folder of its own name.
dpkg-deb -x "$deb" "$work/deb"
mkdir "$work/tgz"
tar -xzf "${tarballs[0]}" -C "$work/tgz"
top=$(basename "${tarballs[0]}" .tar.gz)
[ -d "$work/tgz/$top" ] || fail "the tarball does not unpack into $top/"
diff -r --no-dereference "$work/deb/usr" "$work/tgz/$top" >/dev/null ||
  fail "the tarball's files differ from the .deb's below /usr"

root=$work/deb/usr
lib=$root/lib/vornk
stand_in=$lib/stand-in
expected=$(
  printf '%s\n' bin/vornk-host bin/vornk-sim lib/vornk/vornk.so lib/vornk/stand-in/libzeqhost.so \
    lib/vornk/stand-in/vornk-host lib/vornk/stand-in/vornk-sim lib/vornk/stand-in/vornk.so \
    share/doc/vornk/README.md
  (cd "$source_dir" && find docs examples -type f | sed 's|^|share/doc/vornk/|')
)
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||')
if ! diff <(sort <<<"$expected") <(sort <<<"$actual"); then
  fail "the packaged files differ from the layout (< expected, > packaged)"
fi
for tool in vornk-host vornk-sim; do
  [ "$(readlink "$root/bin/$tool")" = "../lib/vornk/stand-in/$tool" ] ||
    fail "bin/$tool is not a link to ../lib/vornk/stand-in/$tool"
done
diff -r "$root/share/doc/vornk/docs" "$source_dir/docs" >/dev/null &&
  cmp -s "$root/share/doc/vornk/README.md" "$source_dir/README.md" ||
  fail "the packaged README or docs/ differ from the source tree's"

# Which module the package holds: the description says it, and lib/vornk/vornk.so must be it. In a
# stand-in package it is the link to stand-in/vornk.so, which shows what it is; in a controller
# package a file of its own, not a copy of the stand-in build.
description=$(dpkg-deb -f "$deb" Description | tr -s ' \n' '  ')
if grep -qF 'built against the stand-in host' <<<"$description"; then
  kind="the stand-in build"
  [ -L "$lib/vornk.so" ] && [ "$(readlink "$lib/vornk.so")" = stand-in/vornk.so ] ||
    fail "the description names the stand-in build; lib/vornk/vornk.so is no link to it"
elif grep -qF "built against the controller's host framework headers" <<<"$description"; then
  kind="the controller's build"
  if [ -L "$lib/vornk.so" ] || [ ! -f "$lib/vornk.so" ]; then
    fail "the description names the controller's build; lib/vornk/vornk.so is no file"
  elif cmp -s "$lib/vornk.so" "$stand_in/vornk.so"; then
    fail "the description names the controller's build; lib/vornk/vornk.so is the stand-in's"
  fi
else
  kind=
  fail "the description says neither which host vornk.so is built against: $description"
fi
echo "lib/vornk/vornk.so: ${kind:-unknown}"

# Both modules: their binary interface, as the build's own checks have it.
for module in "$lib/vornk.so" "$stand_in/vornk.so"; do
  "$source_dir/tests/abi/check_module_exports.sh" "$module" "$arch-nm" "$arch-readelf" ||
    fail "${module#"$root"/} fails the module's binary checks"
done

# Every program and library: ARM, stripped; the tools find the host library beside themselves.
binaries=("$lib/vornk.so" "$stand_in"/*)
for binary in "${binaries[@]}"; do
  name=${binary#"$lib"/}
  "$arch-readelf" -h "$binary" | grep -qE 'Machine:[[:space:]]+ARM$' || fail "$name is not ARM"
  if "$arch-readelf" -S "$binary" | grep -qE '\.debug_info|\.symtab'; then
    fail "$name is not stripped"
  fi
done
for tool in vornk-host vornk-sim; do
  runpath=$("$arch-readelf" -d "$stand_in/$tool" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
  [ "$runpath" = '$ORIGIN' ] || fail "$tool has RUNPATH '$runpath', not \$ORIGIN"
done

# Depends. Each library a packaged binary needs is in the package or comes from a package that
# Depends names (the Debian armhf package owning it on this machine). The C and C++ runtimes
# carry the versions that provide the GLIBC_ and GLIBCXX_ versions docs/controller.md states, as
# Debian's own symbols files of libc6 and libstdc++6 map them; no packaged binary needs newer
# ones.
depends=$(dpkg-deb -f "$deb" Depends)
architecture=$(dpkg-deb -f "$deb" Architecture)
[ "$architecture" = armhf ] || fail "Architecture is '$architecture', not armhf"
echo "Depends: $depends"
depends_names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *//; s/[ (].*//')
for needed in $(for binary in "${binaries[@]}"; do "$arch-readelf" -d "$binary"; done |
                sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | sort -u); do
  [ -e "$stand_in/$needed" ] && continue
  owner=$(dpkg -S "*/$arch/$needed" 2>/dev/null | sed -n 's/^\([^:]*\):armhf: .*/\1/p' |
          sort -u | head -n 1)
  if [ -z "$owner" ]; then
    fail "no installed armhf package provides $needed"
  elif ! grep -qx "$owner" <<<"$depends_names"; then
    fail "Depends lacks $owner, which provides $needed"
  fi
done

for entry in libc6:GLIBC libstdc++6:GLIBCXX; do
  package=${entry%%:*}
  library=${entry#*:}
  stated=$(grep -oE "\b${library}_[0-9.]*[0-9]" "$source_dir/docs/controller.md" | head -n 1 || true)
  symbols=$(dpkg-query --control-path "$package:armhf" symbols 2>/dev/null || true)
  minimum=$(awk -v v="$stated" '$1 == v "@" v {print $2; exit}' "${symbols:-/dev/null}")
  if [ -z "$stated" ] || [ -z "$minimum" ]; then
    fail "cannot map the ${library} version '${stated}' of docs/controller.md to a $package version"
  elif ! tr ',' '\n' <<<"$depends" | sed 's/^ *//' | grep -qxF "$package (>= $minimum)"; then
    fail "Depends should state $package (>= $minimum), which provides $stated (docs/controller.md)"
  fi
  for binary in "${binaries[@]}"; do
    needs=$("$source_dir/scripts/runtime-versions" "$binary" "$arch-readelf" |
            grep "^${library}_" || true)
    if [ -n "$needs" ] && [ -n "$stated" ] &&
       [ "$(printf '%s\n%s\n' "$needs" "$stated" | sort -V | tail -n 1)" != "$stated" ]; then
      fail "${binary#"$lib"/} needs $needs, newer than the $stated docs/controller.md states"
    fi
  done
done

# A round on the emulated controller: vornk-sim on a free loopback port, vornk-host started
# through its /usr/bin link (it finds vornk.so beside the link's target) in the packaged examples
# folder with the mode-1 settings. qemu-arm starts them with the armhf loader and libraries that
# the build machine's multiarch packages provide. The host's lib/vornk/vornk.so is replaced by a
# file that is no module first: the round completes only with the stand-in build beside the tools.
rm "$lib/vornk.so"
echo "not a module: the tools must load stand-in/vornk.so" >"$lib/vornk.so"
start_device qemu-arm "$root/bin/vornk-sim" --address 127.0.0.1 --port 0
[[ "$address" == 127.0.0.1:* ]] || { echo "package: vornk-sim listens on '$address'" >&2; exit 1; }
points=$(point_count qemu-arm "$root/bin/vornk-host")

if (cd "$root/share/doc/vornk/examples" &&
    qemu-arm "$root/bin/vornk-host" --device "bacnet-ip://$address" --apdu-timeout 2000 \
      --settings settings/mode1.json --rounds 1 >"$work/host.out" 2>"$work/host.err"); then
  complete_rounds "$work/host.err" "$points" | grep '^round 1 data-id 1 ' >/dev/null ||
    fail "vornk-host showed no complete round"
  grep -qx 'parse ini/yaml filename:./ini/vornk.ini' "$work/host.out" ||
    fail "vornk-host did not read the packaged example's ini/vornk.ini"
  [ "$(grep -c "^$address get .* value:" "$work/host.out")" -eq "$points" ] ||
    fail "vornk-host did not print one line per point"
else
  cat "$work/host.err" >&2
  fail "the packaged vornk-host failed"
fi

[ $status -eq 0 ] && echo "the packages are complete, and their vornk-host runs a round on armhf"
exit $status
