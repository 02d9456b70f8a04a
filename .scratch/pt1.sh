export BOARD_SIM_TRACE=/tmp/trace
D=$BIN/debug
$D | tail -5; $D -h gpio; $D -M gpio -w 5 -d 1; $D -M gpio -r 5; $D -M gpio -w 128; echo "st=$?"; cat $BOARD_SIM_TRACE; : > $BOARD_SIM_TRACE
$D -M pwm -c 1 -d 250; $D -M pwm -d 250 -c 1; $D -M pwm -p 0; echo "st=$?"; cat $BOARD_SIM_TRACE
