#!/usr/bin/env bash
# tessvale --scan over a /22 of the test network whose hosts are spread over it (one on
# a .255 inside the range) finds every host of hosts.txt with its MAC and lists no
# silent address: once as root (ARP by the raw packet socket) and once as an
# unprivileged user (ARP through the kernel's neighbour table).
# Usage: sweep_testnet.sh TESSVALE_BINARY SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
tessvale=$1
source_dir=$2

# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces, setpriv and Samba's nmbd" nmbd setpriv
chmod 755 "$work"
testnet_up "$source_dir/scripts/testnet" sw --subnet 198.18.0.0/22 --netbios 6 --arp-only 6 --first 255 --gap 62
# The hosts, and the scanning computer itself with its adapter's MAC.
scanner_mac=$(ip -n "$SCANNER_NS" -o link show eth0 | grep -oE 'link/ether [0-9a-f:]+' | awk '{ print toupper($2) }')
{
    awk '{ print $1 "\t" $2 }' "$net/hosts.txt"
    printf '%s\t%s\n' "$SCANNER_IP" "$scanner_mac"
} | sort >"$work/expected"
hosts=$(wc -l <"$work/expected")
grep -q '^198\.18\.0\.255	' "$work/expected" || { echo "the layout has no host on 198.18.0.255"; exit 1; }

scan() { # NAME, then the command prefix that runs tessvale
    local name=$1 status=0
    shift
    mkdir -p "$work/$name/data"
    chmod -R 777 "$work/$name"
    ip -n "$SCANNER_NS" neigh flush all
    ip netns exec "$SCANNER_NS" "$@" env APPDATA="$work/$name/data" "$tessvale" --scan 198.18.0.1 198.18.3.254 --header \
        >"$work/$name/out" 2>"$work/$name/err" || status=$?
    testnet_exited "$status" 0 "$work/$name/err" "$name: tessvale --scan"
    tail -n +2 "$work/$name/out" | awk -F '\t' '{ print $1 "\t" $2 }' | sort >"$work/$name/actual"
    # 1022 addresses of the /22 less its network and broadcast addresses, which are local.
    testnet_same_hosts "$work/expected" "$work/$name/actual" "^Online:$hosts/Offline:$((1022 - hosts))\$" \
        "$work/$name/err" "$name"
    echo "ok ($name): $hosts hosts found (the scanner among them), no silent address listed"
}

scan raw-socket
scan neighbour-table setpriv --reuid=65534 --regid=65534 --clear-groups
