#!/bin/sh
# Test wrapper of the board's av_log.sh: writes the logs as the board does, then
# removes the logs of the units in MEDIA_SIM_DROP and, for MEDIA_SIM_CUT="unit:text",
# the lines of that unit's log that hold text.
"$SRC/platform/sim/bin/av_log.sh" || exit 1
for unit in ${MEDIA_SIM_DROP:-}; do rm -f "/tmp/media/$unit.log"; done
if [ -n "${MEDIA_SIM_CUT:-}" ]; then
  grep -v -F -e "${MEDIA_SIM_CUT#*:}" "/tmp/media/${MEDIA_SIM_CUT%%:*}.log" >/tmp/media/cut.tmp
  mv /tmp/media/cut.tmp "/tmp/media/${MEDIA_SIM_CUT%%:*}.log"
fi
