# Sourced by the scripts that start a local server in the background.
# wait_for_line PID LOG PATTERN: waits (up to 5 s) until LOG has a line
# matching the regular expression PATTERN. When the server PID has died
# first, prints its log on standard error and fails.
wait_for_line() {
  local pid=$1 log=$2 pattern=$3
  for _ in $(seq 50); do
    grep -q -- "$pattern" "$log" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; return 1; }
    sleep 0.1
  done
  return 0
}
