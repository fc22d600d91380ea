#!/usr/bin/env bash
# vornk-host's commissioning commands against vornk-sim on loopback: probe's exit statuses and
# outputs, discover with a unicast target, the line a run writes when a cycle fails, and a device
# whose host does not resolve. Addresses are given in both forms, bacnet-ip://HOST:PORT and
# HOST:PORT.
# Usage: check_commissioning.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/../support/script_helpers.sh"
work=$(mktemp -d)
pids=()
cleanup() {
  stop_devices
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
status=0
fail() {
  echo "commissioning: $*" >&2
  status=1
}

start_device "$build/vornk-sim" --port 0
good=$address
start_device "$build/vornk-sim" --port 0 --drop analog-input:10416 --error binary-input:10005 \
  --delay analog-output:10410:30
faulty=$address

# probe: 0 when every point answered, 1 when some failed, 2 for a command-line mistake.
"$build/vornk-host" probe --device "$good" >good.txt 2>good.err ||
  fail "probe of a good device: exit $?"
grep -qx 'verdict: the module would complete rounds with this device' good.txt ||
  fail "probe of a good device: no verdict in: $(cat good.txt)"
[ ! -s good.err ] || fail "probe off a terminal wrote to standard error: $(cat good.err)"
code=0
"$build/vornk-host" probe --device "bacnet-ip://$faulty" --apdu-timeout 50 --retries 1 \
  --format json >faulty.json || code=$?
[ "$code" -eq 1 ] || fail "probe of a faulty device: exit $code, expected 1"
[ "$(head -c 1 faulty.json)" = "{" ] && [ "$(wc -l <faulty.json)" -eq 1 ] ||
  fail "probe --format json: not one JSON object on one line"
grep -q '"failed_by_kind":{"no-answer":1,"error":1}' faulty.json ||
  fail "probe --format json: failures not counted: $(grep -o '"summary".*' faulty.json)"
code=0
"$build/vornk-host" probe --device "bacnet-ip://$good" --format xml 2>mistake.txt || code=$?
[ "$code" -eq 2 ] || fail "probe with a wrong --format: exit $code, expected 2"
grep -qx "vornk-host probe: --format: xml not in {text,json} (see vornk-host --help)" \
  mistake.txt || fail "probe with a wrong --format: $(cat mistake.txt)"

# probe signalled while it waits for a late point, on a terminal that script(1) provides: the
# progress line on standard error, then the report of the points read so far, and 128 + the signal.
start_device "$build/vornk-sim" --port 0 --error binary-input:10008 --delay binary-input:10041:600000
late=$address
for signal in INT TERM; do
  script -qefc "echo \$\$ >pid; exec '$build/vornk-host' probe --device bacnet-ip://$late \
    --apdu-timeout 600000 --format $([ $signal = INT ] && echo text || echo json) >$signal.out" \
    $signal.tty </dev/null >/dev/null &
  for _ in $(seq 100); do
    grep -q 'probe: 5 of 284 points, 1 failed' $signal.tty 2>/dev/null && break
    sleep 0.1
  done
  kill -$signal "$(cat pid)"
  code=0
  wait $! || code=$?
  [ "$code" -eq $((128 + $(kill -l $signal))) ] || fail "probe on SIG$signal: exit $code"
  grep -q $'\rprobe: 5 of 284 points, 1 failed\r *\r' $signal.tty ||
    fail "probe on a terminal: no progress line, blanked at the end: $(cat -A $signal.tty)"
done
grep -qx 'verdict: none, the probe was interrupted after 5 of 284 points' INT.out &&
  [ "$(grep -c '^  binary-input' INT.out)" -eq 1 ] || fail "probe on SIGINT: $(cat INT.out)"
grep -q '"summary":{"points":5,.*"stopped_early":"interrupted"' TERM.out ||
  fail "probe on SIGTERM: $(cat TERM.out)"

# discover, unicast to the simulator only.
"$build/vornk-host" discover --target "bacnet-ip://$good" --timeout 500 >found.txt ||
  fail "discover: exit $?"
expected="device 5156 at bacnet-ip://$good: max APDU 1476, segmentation none, vendor 65535
1 device answered within 500 ms"
[ "$(cat found.txt)" = "$expected" ] || fail "discover: expected
$expected
got
$(cat found.txt)"

# A run against the faulty device: the module writes "receive failed" to standard output, the
# readable output names the point and why.
"$build/vornk-host" --device "bacnet-ip://$faulty" --apdu-timeout 50 --retries 1 \
  --output readable.txt >module.txt 2>&1 &
run=$!
pids+=("$run")
for _ in $(seq 100); do
  grep -q '^cycle failed' readable.txt 2>/dev/null && break
  sleep 0.1
done
kill "$run"
wait "$run" || true
grep -qx 'receive failed' module.txt || fail "run: no 'receive failed' in the module's output"
first=$(grep -m1 '^cycle failed' readable.txt || true)
[ "$first" = "cycle failed at binary-input 10005: error class device (0), code other (0)" ] ||
  fail "run: first failure line is '$first'"

# A host that does not resolve: a run and probe refuse at once, as discover does (exit 1).
for args in "--rounds 1 --device nohost.invalid" "probe --device nohost.invalid" \
  "discover --target nohost.invalid"; do
  code=0
  # shellcheck disable=SC2086
  timeout 20 "$build/vornk-host" $args >/dev/null 2>refused.txt || code=$?
  [ "$code" -eq 1 ] && grep -q "^vornk-host: cannot resolve 'nohost.invalid': " refused.txt ||
    fail "$args: exit $code, $(cat refused.txt)"
done
exit $status
