# One camera of the scale case, run in its own sandbox: its eth0 is the veth that the
# outer case plugs into the bridge (it arrives as eth1), its address 10.20.0.<10+N>.
n=$1
ip link del eth0  # the sandbox's own eth0/tool0 pair
for _ in $(seq 100); do ip link show eth1 > /dev/null 2>&1 && break; sleep 0.1; done
ip link set eth1 name eth0
ip link set eth0 up
sqlite3 /opt/app/qzdb.db "UPDATE network SET ip = '10.20.0.$((10 + n))', netmask = '255.255.255.0',
  gateway = '10.20.0.1' WHERE iface = 0"
exec "$BIN/debug" -M search
