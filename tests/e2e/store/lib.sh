# Helpers sourced by the store cases.
wait_for() {  # wait_for TEXT FILE: up to 10 s for a line TEXT in FILE
  for _ in $(seq 100); do grep -qx -- "$1" "$2" 2>/dev/null && return 0; sleep 0.1; done
  echo "timed out waiting for '$1' in $2" >&2
  return 1
}
wait_for_lines() {  # wait_for_lines N FILE: up to 10 s for FILE to hold N lines
  for _ in $(seq 100); do [ "$(wc -l <"$2" 2>/dev/null || echo 0)" -ge "$1" ] && return 0; sleep 0.1; done
  echo "timed out waiting for $1 lines in $2" >&2
  return 1
}
