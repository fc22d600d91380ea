#!/usr/bin/env bash
# vornk-host reading a BACnet/IP device over loopback: the history it stores must decode to the
# same values of every point as a round read from the in-process simulated device.
# Usage: end_to_end.sh BUILD_DIR simulator|peer
#   simulator: the device is vornk-sim (also checks --devices, and decode of a file that is no
#              history);
#   peer:      the device is an independent BACnet/IP implementation from npm (tests/e2e/peer/),
#              serving the reference round's values.
set -euo pipefail
build=$(cd "$1" && pwd)
device=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/script_helpers.sh"
work=$(mktemp -d)
cleanup() {
  stop_devices
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

fail() {
  echo "end-to-end ($device): $*" >&2
  exit 1
}

# The values of a decoded CSV row, without data identifier and time stamp.
values() { cut -d, -f3-; }
points=$(point_count "$build/vornk-host")

# The reference: four devices reading the in-process simulated device at once, all alike.
"$build/vornk-host" --devices 4 --rounds 1 --history reference.bin >/dev/null 2>&1 ||
  fail "the reference run against the in-process device failed"
"$build/vornk-host" decode reference.bin | sed 1d | values | sort -u >reference.csv
[ "$(wc -l <reference.csv)" -eq 1 ] || fail "in-process devices read different values"

# Starts the device; its first line names the address it listens on.
case "$device" in
  simulator)
    start_device "$build/vornk-sim" --port 0
    ;;
  peer)
    [ -d "$here/peer/node_modules/@bacnet-js/client" ] ||
      fail "the npm peer is not installed: run scripts/setup"
    "$build/vornk-host" decode --format json reference.bin | sed -n 1p >values.json
    start_device node "$here/peer/device.js" values.json
    ;;
  *) fail "unknown device '$device'" ;;
esac
echo "device listening on $address"

# The device's first round; the client uses a port of its own (the npm peer ignores requests
# from its own port number).
"$build/vornk-host" --device "bacnet-ip://$address" --apdu-timeout 1000 --retries 2 \
  --history network.bin --rounds 2 >host.out 2>host.err || { cat host.err >&2; fail "vornk-host failed"; }
[ "$(complete_rounds host.err "$points" | grep -c '^round [12] data-id 1 ')" -eq 2 ] ||
  fail "the shown rounds lack their cycle and request count"
grep '^round' host.err

"$build/vornk-host" decode network.bin >network.csv
[ "$(wc -l <network.csv)" -eq 3 ] || fail "expected a header and two rows"
for row in 2 3; do
  sed -n "${row}p" network.csv | values | cmp -s - reference.csv ||
    fail "round $((row - 1)) differs from the reference values"
done
echo "both rounds hold the reference values of all $points points"

if [ "$device" = simulator ]; then
  "$build/vornk-host" --device "bacnet-ip://$address" --devices 3 --data-id 40 --rounds 1 \
    --history devices.bin >/dev/null 2>&1 || fail "vornk-host --devices 3 failed"
  ids=$("$build/vornk-host" decode devices.bin | sed 1d | cut -d, -f1 | sort | tr '\n' ' ')
  [ "$ids" = "40 41 42 " ] || fail "--devices 3 stored rounds of data identifiers '$ids'"
  echo "three devices stored one round each"

  # A record of zeros, stamp included, is no history's: decoded and noted, with exit status 1.
  head -c 859 /dev/zero >zeros.bin
  code=0
  "$build/vornk-host" decode zeros.bin >/dev/null 2>zeros.err || code=$?
  [ "$code" -eq 1 ] && grep -q ': record 1: ' zeros.err || fail "decode of zeros: exit $code"
fi
