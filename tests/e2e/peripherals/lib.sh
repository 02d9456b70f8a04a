# Sourced by every peripheral case: the programs by bare name (usage texts show
# "debug"), the board trace in the scratch folder, and the device emulator.
PATH="$BIN:$BIN/../tests:$PATH"
export BOARD_SIM_TRACE=$PWD/trace
# Settings databases present, so start-up copies nothing.
[ -f /mnt/nand/qzdb.db ] || cp /opt/app/qzdb.db /mnt/nand/qzdb.db 2>/dev/null || : >/mnt/nand/qzdb.db
[ -f /mnt/nand2/oem.db ] || cp /opt/app/oem.db /mnt/nand2/oem.db 2>/dev/null || : >/mnt/nand2/oem.db

# run LABEL COMMAND...: runs a command and prints its exit status after a label.
run() {
  local label=$1
  shift
  echo "== $label"
  "$@"
  echo "-- status $?"
}

# trace: prints and clears the board trace.
trace() {
  [ -f "$BOARD_SIM_TRACE" ] && cat "$BOARD_SIM_TRACE"
  : >"$BOARD_SIM_TRACE"
}

# quiet COMMAND...: runs a command with its standard output dropped (long help texts).
quiet() {
  "$@" >/dev/null
}

# emu OPTION... -- PROGRAM...: runs PROGRAM against the emulated kernel devices; the
# bus log goes to ./bus.
emu() {
  devemu --log bus "$@"
}

# buslog: prints and clears the emulator's bus log.
buslog() {
  [ -f bus ] && cat bus
  : >bus
}

# to FILE COMMAND...: runs a command with its standard output in FILE.
to() {
  local file=$1
  shift
  "$@" >"$file"
}
