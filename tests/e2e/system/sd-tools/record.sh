# Sourced by the stand-ins: appends the command line to $BOARD_SIM_TRACE.
record() {
  [ -n "${BOARD_SIM_TRACE:-}" ] && printf '%s\n' "$*" >>"$BOARD_SIM_TRACE"
  return 0
}
# fails NAME: the test asked this tool to fail (SD_SIM_FAIL lists tool names).
fails() { case " ${SD_SIM_FAIL:-} " in *" $1 "*) return 0 ;; esac; return 1; }
