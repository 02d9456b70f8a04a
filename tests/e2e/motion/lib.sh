# Shared by the motion cases: `debug` on PATH (so usage texts name it "debug"), the
# board trace in the scratch folder, and settings files present so that start-up
# copies nothing.
export PATH="$BIN:$PATH" BOARD_SIM_TRACE="$PWD/trace"
touch /mnt/nand/qzdb.db /mnt/nand2/oem.db

# run ARGS...: runs debug; its error reports go to standard error with the line
# number masked; then prints "status N".
run() {
  debug "$@" 2>"$PWD/err"
  local status=$?
  sed -E 's/^( ERROR  \([^|]*\|[^|]*\|)[0-9]+\)/\1L)/' "$PWD/err" >&2
  echo "status $status"
}

# The traced calls of the motion libraries (and logged sleeps); the exit sequence's
# calls into other libraries are left out.
motion_trace() {
  [ -f "$BOARD_SIM_TRACE" ] && grep -E '^(STEPPER_|lens_|len_|af_|pt_|sleep )' "$BOARD_SIM_TRACE"
  return 0
}
# Prints them, and forgets the trace.
calls() {
  motion_trace
  rm -f "$BOARD_SIM_TRACE"
}

# run_help ARGS...: like run, but replaces the module's help (saved in help.txt by
# `debug -h`) with one line "(help)", so that a case states what it prints around it.
save_help() { debug -h "$1" | tail -n +2 >"$PWD/help.txt"; }
run_help() {
  run "$@" >"$PWD/out"
  local text
  text=$(cat "$PWD/out")
  local help
  help=$(cat "$PWD/help.txt")
  printf '%s\n' "${text/"$help"/(help)}"
}
