# One camera of a fleet (start_fleet in lib.sh, tests/bench/search/fleet), run in its own
# sandbox: its eth0 is the veth that the fleet plugs into the bridge (it arrives as eth1).
#   bash fleet-camera.sh N [factory]
# Camera N gets 10.20.<N / 200>.<10 + N % 200>/16, or keeps the factory's address.
n=$1
ip link del eth0  # the sandbox's own eth0/tool0 pair
for _ in $(seq 200); do ip link show eth1 > /dev/null 2>&1 && break; sleep 0.1; done
ip link set eth1 name eth0
ip link set eth0 up
[ "${2:-}" = factory ] ||
  sqlite3 /opt/app/qzdb.db "UPDATE network SET ip = '10.20.$((n / 200)).$((10 + n % 200))',
    netmask = '255.255.0.0', gateway = '10.20.0.1' WHERE iface = 0"
exec "$BIN/debug" -M search
