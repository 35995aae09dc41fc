# shellcheck shell=bash disable=SC2034,SC2154
# Sourced by the tests that change the test network between two scans:
#   change_network NEW_IP CHANGED_MAC
# makes the four kinds of change on the ARP-only hosts of the network whose env is
# loaded ($TESTNET_ID) and whose ARP-only addresses are in the array arp_ips:
#   new:         a host appears on NEW_IP (its MAC in new_mac);
#   gone:        the first ARP-only host (m1) leaves;
#   MAC changed: the second (m2) takes CHANGED_MAC;
#   conflict:    a namespace of its own ($conflict_ns, MAC in conflict_mac) claims the
#                third's address too, and is ready when the function returns. The caller
#                removes $conflict_ns when it ends.
change_network() {
    local switch_ns="tv${TESTNET_ID}w" arp_ns="tv${TESTNET_ID}a"
    local prefix=${PREFIX:-24}
    new_ip=$1
    changed_mac=$2
    ip -n "$arp_ns" link add m9 link eth0 type macvlan mode bridge
    ip -n "$arp_ns" addr add "$new_ip/$prefix" dev m9
    ip -n "$arp_ns" link set m9 up
    new_mac=$(ip netns exec "$arp_ns" cat /sys/class/net/m9/address)
    ip -n "$arp_ns" link del m1
    ip -n "$arp_ns" link set m2 down
    ip -n "$arp_ns" link set m2 address "$changed_mac"
    ip -n "$arp_ns" link set m2 up
    conflict_ns="tv${TESTNET_ID}c"
    ip netns add "$conflict_ns"
    ip -n "$switch_ns" link add pc type veth peer name eth0 netns "$conflict_ns"
    ip -n "$switch_ns" link set pc master br0 up
    ip -n "$conflict_ns" link set lo up
    ip -n "$conflict_ns" link set eth0 up
    ip -n "$conflict_ns" addr add "${arp_ips[2]}/$prefix" dev eth0
    conflict_mac=$(ip netns exec "$conflict_ns" cat /sys/class/net/eth0/address)
    # A scan that starts at once must meet the claimant: its link up and its switch port
    # forwarding (3).
    local tries
    for tries in $(seq 1 100); do
        if [ "$(ip netns exec "$conflict_ns" cat /sys/class/net/eth0/operstate)" = up ] &&
            [ "$(ip netns exec "$switch_ns" cat /sys/class/net/pc/brport/state)" = 3 ]; then
            return 0
        fi
        sleep 0.05
    done
    echo "change_network: the claimant's link did not come up" >&2
    return 1
}
