# Helpers for the search cases: sourced by each case's cmd inside a fresh sandbox.

# eth0's MAC (sysfs shows the host's devices, so ask ip).
eth0_mac() { ip -o link show eth0 | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p'; }

# The bytes of a MAC text, for printf.
mac_bytes() { printf "$(echo "$1" | sed 's/\([0-9a-f][0-9a-f]\):\{0,1\}/\\x\1/g')"; }

# Stand-ins for the DHCP client and killall that record their arguments in $PWD/calls.
use_recording_tools() {
  mkdir -p tools
  for tool in dhcpcd killall; do
    printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\n' "$tool" "$PWD" > "tools/$tool"
    chmod +x "tools/$tool"
  done
  PATH="$PWD/tools:$PATH"
}

# Starts debug -M search in the background (output in debug.out / debug.err) and waits
# until it answers a search request.
start_search() {
  "$BIN/debug" -M search > debug.out 2> debug.err &
  search_pid=$!
  for _ in $(seq 40); do
    "$BIN/discover" --iface tool0 --timeout 0.5 search > /dev/null 2>&1 && return 0
  done
  echo "search did not come up"
  return 1
}

# On OEM index 12: waits until the UDP thread, started after the listener, answers a
# search too. Its socket asks the kernel for arrival times, which the kernel turns on a
# moment later: datagrams that come before carry the time they are read instead.
wait_udp_search() {
  for _ in $(seq 20); do
    "$BIN/discover" --udp --timeout 0.5 search > /dev/null 2>&1 && return 0
  done
  echo "the UDP thread did not answer"
  return 1
}

# Stops the responder with SIGSTOP and waits until every thread of it has stopped: the
# signal wakes one thread, which then stops the others, and until then they run on.
pause_search() {
  kill -STOP "$search_pid"
  for _ in $(seq 200); do
    sed 's/.*) //' /proc/"$search_pid"/task/*/stat | cut -d' ' -f1 | grep -qv T || return 0
    sleep 0.05
  done
  echo "the responder did not stop"
  return 1
}

stop_search() {
  kill -INT "$search_pid"
  wait "$search_pid"
  echo "debug exit status: $?"
}

# Reply text with the uptime field (11) blanked, which changes from run to run.
blank_uptime() { awk -F';' 'BEGIN { OFS = ";" } { $11 = "UPTIME"; print }'; }

# Stored wired settings, DHCP flag first.
stored_network() {
  sqlite3 /mnt/nand/qzdb.db "SELECT dhcp, hostname, ip, netmask, gateway, dns1, dns2 FROM network WHERE iface = 0"
}

# eth0 as the responder left it. The listener re-applies the stored settings after it
# has answered a modify request; it answers the next request only when that is done.
eth0_state() {
  "$BIN/discover" --iface tool0 --timeout 1 search > /dev/null
  ip -4 -o addr show eth0 | awk '{ print "eth0", $4 }'
  ip route show default | sed 's/ *$//'
}

# tool0's MAC.
tool0_mac() { ip -o link show tool0 | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p'; }

# A raw modify request from the MAC $1 to the camera $2 carrying the text $3 (a printf
# format: \xNN escapes are turned into bytes), NUL-terminated.
modify_frame() {
  mac_bytes "$2"; mac_bytes "$1"; printf '\x08\x09\x20\x12\x06\x10\x00\x02'; mac_bytes "$2"
  printf "$3"; printf '\x00'
}

# Bytes waiting in the queue of the UDP request port (62630, F4A6 in /proc/net/udp).
udp_request_queue() {
  local queue
  queue=$(awk '$2 ~ /:F4A6$/ { split($5, q, ":"); print q[2]; exit }' /proc/net/udp)
  echo $((16#${queue:-0}))
}

# Listens on the UDP reply port in the background (pid in $udp_listener) and writes the
# size of each broadcast reply it hears to the file $2, one a line, up to the first
# reply of $1 bytes (114 a search reply, 50 a modify reply; at most 30 s). Returns once
# its socket is bound.
listen_udp_replies() {
  rm -f "$2" "$2.bound"
  python3 -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("", 62631))
s.settimeout(30)
open(sys.argv[2] + ".bound", "w").close()
with open(sys.argv[2], "w") as out:
    while True:
        size = len(s.recv(2048))
        print(size, file=out, flush=True)
        if size == int(sys.argv[1]):
            break
' "$1" "$2" &
  udp_listener=$!
  for _ in $(seq 200); do [ -e "$2.bound" ] && return 0; sleep 0.05; done
  echo "the reply listener did not start"
  return 1
}

# Sends the datagram in file $1 to the UDP request port 300 times within one second.
send_burst() {
  python3 -c '
import socket, sys, time
data = open(sys.argv[1], "rb").read()
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
start = time.monotonic()
for i in range(300):
    s.sendto(data, ("127.0.0.1", 62630))
    time.sleep(max(0, start + (i + 1) / 300 - time.monotonic()))
' "$1"
}

# Starts $1 cameras, each fleet-camera.sh N [$2] (N from 1) in a sandbox of its own whose
# eth1 is plugged into the bridge br0, made here; their board-sim pids in the array pids,
# their output in cameraN.log. Returns once every camera answers a search on br0
# (bounded); what each of those searches heard is added to fleet-heard (--raw lines).
start_fleet() {
  local count=$1 mode=${2:-} n pid self
  ip link add br0 type bridge
  ip link set br0 up
  self=$(readlink /proc/self/ns/net)
  pids=()
  for n in $(seq "$count"); do
    "$SRC/scripts/board-sim" bash "$SRC/tests/e2e/search/fleet-camera.sh" "$n" $mode \
      > "camera$n.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    # Wait until the sandbox has its own network namespace, then plug it in.
    for _ in $(seq 100); do
      [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" != "$self" ] && break
      sleep 0.05
    done
    ip link add "cam$n" type veth peer name eth1 netns "$pid"
    ip link set "cam$n" master br0 up
  done
  for _ in $(seq 30); do
    "$BIN/discover" --raw --iface br0 --timeout 2 search > fleet-last 2> /dev/null
    cat fleet-last >> fleet-heard
    [ "$(wc -l < fleet-last)" -ge "$count" ] && return 0
  done
  echo "not every camera answered"
  return 1
}

# Stops the cameras of start_fleet and waits for them.
stop_fleet() {
  local pid
  for pid in "${pids[@]}"; do pkill -INT -P "$pid"; done
  wait
}
