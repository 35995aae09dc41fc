#!/usr/bin/env bash
# End to end: the main window's Start over a /24 of the test network lists every
# NetBIOS and ARP-only host with its MAC (and name), and nothing for silent addresses.
set -euo pipefail
driver=$1
testnet=$2
# shellcheck source=tests/tools/testnet_prologue.sh
. "$(dirname "$testnet")/../tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces and Samba's nmbd for the test network" nmbd
testnet_up "$testnet" gw --subnet 198.18.40.0/24 --netbios 2 --arp-only 2
data=$work
sleep 1 # let nmbd register its names
APPDATA=$data ip netns exec "$SCANNER_NS" "$driver" check "$net"
