# Sourced by the test scripts that run vornk-host and vornk-sim: starting and stopping a device
# that prints where it listens, the number of points, and the lines of a run they look at.

device_pids=()

# Starts COMMAND... (vornk-sim, or another device printing "listening on HOST:PORT ..." as its
# first line) in the background and waits for that line; sets address to its HOST:PORT.
start_device() {
  local fifo fd line
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$@" >"$fifo" &
  device_pids+=($!)
  exec {fd}<"$fifo"
  rm -f "$fifo"
  if ! read -r -t 60 -u "$fd" line; then
    echo "$1 did not start" >&2
    exit 1
  fi
  address=${line#listening on }
  address=${address%% *}
}

# Stops every device start_device started; for the scripts' EXIT traps.
stop_devices() {
  local pid
  for pid in "${device_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${device_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  device_pids=()
}

# The number of points vornk reads, as the columns of vornk-host decode after data_id and time.
# Arguments: the command that runs vornk-host.
point_count() { "$@" decode /dev/null | head -n 1 | tr ',' '\n' | tail -n +3 | wc -l; }

# The round lines of vornk-host's readable output FILE that state a cycle of POINTS requests.
complete_rounds() { grep -E "^round [0-9]+ data-id [0-9]+ time .* cycle [0-9.]+ ms $2 requests$" "$1" || true; }

# The settings import's lines of the module's output on standard input: all but the sampling
# thread's own (the trace line, the value lines of the simulated device, the rvSize line).
import_lines() { grep -v -e '^simulated get ' -e '^vornk::RefreshStatus$' -e '^rvSize is ' || true; }
