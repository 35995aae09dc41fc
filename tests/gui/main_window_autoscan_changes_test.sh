#!/usr/bin/env bash
# End to end: two AutoScan repetitions of the main window over the test network. After
# the first, a host is added, one removed, one given another MAC, and a namespace of its
# own answers ARP for a fourth host's address; the second repetition must show exactly
# those as new, gone, MAC changed and conflict in the Change column and append exactly
# those lines to changes.csv in the data folder. The driver and this script meet through
# files in a step folder (see window_driver.cpp).
# Usage: main_window_autoscan_changes_test.sh WINDOW_DRIVER TESTNET_SCRIPT. Exit 77: skipped.
set -euo pipefail
driver=$1
testnet=$2
# shellcheck source=tests/tools/testnet_prologue.sh
. "$(dirname "$testnet")/../tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces and Samba's nmbd for the test network" nmbd
conflict_ns=""
driver_pid=""
remove_conflict() { if [ -n "$conflict_ns" ]; then ip netns del "$conflict_ns"; fi; }
testnet_at_exit remove_conflict
stop_driver() { if [ -n "$driver_pid" ]; then kill "$driver_pid"; fi; }
testnet_at_exit stop_driver
testnet_up "$testnet" win --subnet 198.18.44.0/24 --netbios 2 --arp-only 3
steps=$work/steps
mkdir -p "$work/data/Tessvale" "$steps"

# The ARP-only hosts are the macvlans m1, m2, m3 of one namespace, in the order of
# hosts.txt.
mapfile -t arp_ips < <(awk '$4 == "arp" { print $1 }' "$net/hosts.txt")
mapfile -t arp_macs < <(awk '$4 == "arp" { print $2 }' "$net/hosts.txt")
[ "${#arp_ips[@]}" -eq 3 ] || { echo "the layout has not three ARP-only hosts"; exit 1; }

APPDATA=$work/data ip netns exec "$SCANNER_NS" "$driver" autoscan-changes "$net" "$steps" &
driver_pid=$!

# The first repetition, the baseline, is done when the driver says so.
deadline=$((SECONDS + 180))
until [ -e "$steps/baseline" ]; do
    if ! kill -0 "$driver_pid" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
        status=0
        wait "$driver_pid" || status=$?
        driver_pid=""
        echo "the driver did not finish the first repetition (status $status)"
        exit 1
    fi
    sleep 0.2
done

# New, gone, MAC changed and a conflict: new_ip, new_mac, changed_mac, conflict_ns and
# conflict_mac tell which.
# shellcheck source=tests/network/change_network.sh
. "$(dirname "$0")/../network/change_network.sh"
change_network 198.18.44.200 02:54:56:00:00:44
# The scanner forgets what it learned of the old network.
ip -n "$SCANNER_NS" neigh flush all

{
    printf '%s\t%s\t%s\t%s\n' "$new_ip" new "${new_mac^^}" -
    printf '%s\t%s\t%s\t%s\n' "${arp_ips[0]}" gone - "${arp_macs[0]}"
    printf '%s\t%s\t%s\t%s\n' "${arp_ips[1]}" "MAC changed" "${changed_mac^^}" "${arp_macs[1]}"
    printf '%s\t%s\t%s\t%s\n' "${arp_ips[2]}" conflict "${arp_macs[2]}" "${conflict_mac^^}"
} >"$steps/expected-changes.txt"
: >"$steps/go"

status=0
wait "$driver_pid" || status=$?
driver_pid=""
if [ "$status" -ne 0 ]; then
    echo "the window's second repetition did not show the expected changes (status $status)"
    echo "expected:"
    cat "$steps/expected-changes.txt"
    echo "changes.csv:"
    cat "$work/data/Tessvale/changes.csv" 2>/dev/null || echo "(none)"
    exit 1
fi
echo "ok: the second AutoScan repetition showed new, gone, MAC changed and conflict, and logged them"
