#!/usr/bin/env bash
# The ARP sweep helper with its file capability, run as an unprivileged user on the test
# network: the protocol checks of arp_sweep_driver.py (ready, no capability kept, every
# host's MAC, every rule-breaking request refused); then an unprivileged tessvale --scan
# with the helper installed beside it (as the package lays them out) lists every host,
# and against an earlier scan finds a second MAC answering for an address (a conflict), as
# only the raw path can.
# Usage: arp_sweep_testnet.sh ARP_SWEEP_BINARY TESSVALE_BINARY SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
helper_binary=$1
tessvale_binary=$2
source_dir=$3

# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces, setcap, setpriv, python3 and Samba's nmbd" setcap setpriv python3 nmbd
conflict_ns=""
remove_conflict() { if [ -n "$conflict_ns" ]; then ip netns del "$conflict_ns"; fi; }
testnet_at_exit remove_conflict
chmod 755 "$work"
testnet_up "$source_dir/scripts/testnet" as --subnet 198.18.2.0/24 --netbios 1 --arp-only 3

# The package's layout: the program finds the helper in ../libexec/tessvale/.
install -D -m 755 "$tessvale_binary" "$work/usr/bin/tessvale"
install -D -m 755 "$helper_binary" "$work/usr/libexec/tessvale/arp-sweep"
helper="$work/usr/libexec/tessvale/arp-sweep"
setcap cap_net_raw=ep "$helper"
getcap "$helper" | grep -q cap_net_raw || {
    echo "skipped: this file system keeps no file capabilities"
    exit 77
}
mkdir -m 777 "$work/data"
as_user() {
    ip netns exec "$SCANNER_NS" setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
        env APPDATA="$work/data" "$@"
}

as_user python3 "$source_dir/tests/network/arp_sweep_driver.py" "$helper" eth0 "$net/hosts.txt"

scan() { # OUTPUT EXPECTED_STATUS OPTIONS...
    local output=$1 expected=$2 status=0
    shift 2
    ip -n "$SCANNER_NS" neigh flush all
    as_user "$work/usr/bin/tessvale" --scan 198.18.2.0/24 --sorted "$@" >"$work/$output" 2>"$work/$output.err" ||
        status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "tessvale --scan $* as nobody exited with $status, not $expected"
        cat "$work/$output.err" "$work/$output"
        exit 1
    fi
}

scan base.csv 0 --format csv
awk '{ print $1 "\t" $2 }' "$net/hosts.txt" | sort >"$work/expected"
tail -n +2 "$work/base.csv" | awk -F , -v own="$SCANNER_IP" '$1 != own { print $1 "\t" $2 }' | sort >"$work/found"
diff "$work/expected" "$work/found" || { echo "the unprivileged scan with the helper lists other hosts"; exit 1; }

# shellcheck disable=SC2034 # read by change_network
mapfile -t arp_ips < <(awk '$4 == "arp" { print $1 }' "$net/hosts.txt")
# shellcheck source=tests/network/change_network.sh
. "$source_dir/tests/network/change_network.sh"
change_network 198.18.2.200 02:54:56:00:00:03
scan changed.tsv 3 --against "$work/base.csv"
[ "$(awk -F '\t' -v ip="${arp_ips[2]}" '$1 == ip { print $10 }' "$work/changed.tsv")" = conflict ] || {
    echo "no conflict for ${arp_ips[2]}, which two MACs answer"
    cat "$work/changed.tsv" "$work/changed.tsv.err"
    exit 1
}
echo "ok: the helper keeps to its rules and gives an unprivileged scan every host and the conflict"
