#!/usr/bin/env bash
# End to end: the main window's Start over a /24 of the test network lists every
# NetBIOS and ARP-only host with its MAC (and name), and nothing for silent addresses.
set -euo pipefail
driver=$1
testnet=$2
if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null || ! command -v nmbd >/dev/null; then
    echo "skipped: needs root, iproute2 and Samba's nmbd for the test network"
    exit 77
fi
net=$("$testnet" up --subnet 198.18.40.0/24 --netbios 2 --arp-only 2 --id "gw$$" | tail -n 1)
data=$(mktemp -d)
trap '"$testnet" down "$net"; rm -rf "$data"' EXIT
# shellcheck disable=SC1091
. "$net/env"
sleep 1 # let nmbd register its names
APPDATA=$data ip netns exec "$SCANNER_NS" "$driver" check "$net"
