# Shared by the system-module cases; sourced by their cmd scripts inside the sandbox.

# Masks the line numbers of error reports: " ERROR  (src|fn|123): " -> "(src|fn|#): ".
mask_lines() { sed -E 's/^( ERROR  \([^|]*\|[^|]*\|)[0-9]+\): /\1#): /'; }

# Runs the tool (as "debug", found on PATH) with its standard error masked by mask_lines (printed after its
# standard output has been written), and prints "status N" afterwards.
run_debug() {
  local err status
  err=$(mktemp)
  PATH="$BIN:$PATH" debug "$@" 2>"$err"
  status=$?
  mask_lines <"$err" >&2
  rm -f "$err"
  echo "status $status"
}

# sd_board [N...]: gives this sandbox a private /dev holding the usual character
# devices plus empty card nodes /dev/mmcblkN for each N, and puts the recording
# stand-ins of the SD-card shell tools first on PATH. Their calls (and the board
# library's, e.g. qz_free_system_caches) go to $BOARD_SIM_TRACE, a temporary file by
# default, so a case run by hand leaves nothing in the folder it ran in.
# The node folder is a tmpfs moved over /dev inside the sandbox's own mount
# namespace: the host's /dev is never written.
sd_board() {
  local dev=/tmp/sd-dev name i
  mkdir -p "$dev"
  mount -t tmpfs -o mode=0755,size=1m sd-dev "$dev" || return 1
  for name in null zero full random urandom tty; do
    : >"$dev/$name"
    mount --bind "/dev/$name" "$dev/$name" || return 1
  done
  ln -s /proc/self/fd "$dev/fd"
  ln -s /proc/self/fd/0 "$dev/stdin"
  ln -s /proc/self/fd/1 "$dev/stdout"
  ln -s /proc/self/fd/2 "$dev/stderr"
  for i in "$@"; do : >"$dev/mmcblk$i"; done
  mount --move "$dev" /dev || return 1
  [ "$(findmnt -n -o SOURCE --mountpoint /dev | tail -n 1)" = sd-dev ] || return 1
  export PATH="$SRC/tests/e2e/system/sd-tools:$PATH"
  export BOARD_SIM_TRACE=${BOARD_SIM_TRACE:-$(mktemp /tmp/sd-calls.XXXXXX)}
  : >"$BOARD_SIM_TRACE"
}

# Prints the recorded card-tool calls and cache drops; other board calls that land in
# the same trace (the exit sequence's deinit of other libraries) are left out.
sd_calls() {
  grep -E '^(df|mount|dd|sync|fdisk|fdisk<|mkdosfs|dosfsck|qz_free_system_caches)( |$)' \
    "$BOARD_SIM_TRACE"
}

# wait_for_text FILE TEXT: waits (at most 20 s) until FILE holds TEXT. The tool
# flushes every console print, so its output file shows how far it has come.
wait_for_text() {
  local _
  for _ in $(seq 400); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# finish_debug PID: waits for a tool started in the background with its output in
# ./out and ./err, then prints its output, its errors (masked) and its status.
finish_debug() {
  local status
  wait "$1"
  status=$?
  cat out
  mask_lines <err >&2
  echo "status $status"
}
