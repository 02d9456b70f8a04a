# Helpers for the parking end-to-end cases (sourced by each case's cmd, which runs
# in a fresh board sandbox with BIN, SRC and a scratch folder as the current folder).

# wait_for PATTERN FILE [SECONDS]: until a line of FILE matches the extended regex.
wait_for() {
  local tries=$(( ${3:-10} * 20 ))
  for _ in $(seq "$tries"); do
    grep -Eq -- "$1" "$2" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "timed out waiting for /$1/ in $2" >&2
  return 1
}

# count PATTERN FILE: lines of FILE that match.
count() { grep -Ec -- "$1" "$2" 2>/dev/null || true; }

# settle FILE: waits until FILE has stopped growing for half a second.
settle() {
  local before=-1 now
  for _ in $(seq 100); do
    now=$(wc -c <"$1")
    [ "$now" = "$before" ] && return 0
    before=$now
    sleep 0.5
  done
}

# store_rows SCENARIO: the seeded settings databases with the scene's parking rows.
store_rows() {
  cp /opt/app/qzdb.db /mnt/nand/qzdb.db
  cp /opt/app/oem.db /mnt/nand2/oem.db
  "$BIN/scene" --sql rows.sql "$1"
  sqlite3 /mnt/nand/qzdb.db <rows.sql
}

# start_control: control-sim in the background, commands through fd 3, lines in
# control.out.
start_control() {
  [ -p control.in ] || mkfifo control.in
  exec 3<>control.in
  "$BIN/control-sim" <control.in >control.out &
  CONTROL=$!
  for _ in $(seq 100); do [ -S /var/run/qzsocket ] && return 0; sleep 0.05; done
  echo "control-sim did not listen" >&2
  return 1
}

stop_control() {
  echo quit >&3
  wait "$CONTROL"
}

# start_parking: the service in the background; its output in parking.out/.err.
start_parking() {
  "$BIN/parking" >parking.out 2>parking.err &
  PARKING=$!
}

# stop_parking: SIGINT, then its exit status.
stop_parking() {
  kill -INT "$PARKING"
  wait "$PARKING"
  echo "parking exit status: $?"
}

# Log lines without their "[time pid] " head and with the cur_time values hidden.
normalized() {
  sed -E -e 's/^\[(ERR:|WRN:|INF:)?[0-9-]+ [0-9:.]+ [0-9]+\] /[\1] /' \
         -e 's/cur_time: \[[0-9]+ s [0-9]+ms\]/cur_time: [S s MSms]/' "$1"
}

# Control lines with runs of the same line folded to "N x LINE".
folded() { uniq -c "$1" | sed -E 's/^ *([0-9]+) /\1 x /'; }

# per_frame FILE: control lines grouped per processed frame (each ends with its 6117
# space list, led by the 6116 car list when one was sent), runs of equal frames
# counted: "N x cars <list>|- spaces <list>". Other messages stay as they are.
per_frame() {
  awk '
    $1 == 6116 && $2 == 6144 { cars = $3; next }
    $1 == 6117 { print "cars " (cars == "" ? "-" : cars) " spaces " $3; cars = ""; next }
    { print }
  ' "$1" | uniq -c | sed -E 's/^ *([0-9]+) /\1 x /'
}
