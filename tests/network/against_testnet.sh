#!/usr/bin/env bash
# tessvale --scan --against over the test network: an unchanged network compares equal
# (exit 0) with an earlier output in JSON and with a stored result by its name; then a host is added, one removed, one given
# another MAC and a second namespace answers ARP for a fourth host's address, and the
# comparison with the earlier CSV output marks exactly those as new, gone, MAC changed
# and conflict (exit 3). A baseline that does not exist is a usage error (exit 2).
# Usage: against_testnet.sh TESSVALE_BINARY SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
tessvale=$1
source_dir=$2

# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces and Samba's nmbd" nmbd
conflict_ns=""
remove_conflict() { if [ -n "$conflict_ns" ]; then ip netns del "$conflict_ns"; fi; }
testnet_at_exit remove_conflict
testnet_up "$source_dir/scripts/testnet" ag --subnet 198.18.0.0/24 --netbios 2 --arp-only 3
mkdir -p "$work/data/Tessvale"
: >"$work/data/Tessvale/oui.txt" # no vendor names: they could hold the separators

scan() { # OUTPUT EXPECTED_STATUS, then the options after the range
    local output=$1 expected=$2 status=0
    shift 2
    ip -n "$SCANNER_NS" neigh flush all
    ip netns exec "$SCANNER_NS" env APPDATA="$work/data" "$tessvale" --scan 198.18.0.0/24 --sorted "$@" \
        >"$work/$output" 2>"$work/$output.err" || status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "tessvale --scan $* exited with $status, not $expected"
        cat "$work/$output.err" "$work/$output"
        exit 1
    fi
}

# The ARP-only hosts are the macvlans m1, m2, m3 of one namespace, in the order of
# hosts.txt.
mapfile -t arp_ips < <(awk '$4 == "arp" { print $1 }' "$net/hosts.txt")
mapfile -t arp_macs < <(awk '$4 == "arp" { print $2 }' "$net/hosts.txt")
[ "${#arp_ips[@]}" -eq 3 ] || { echo "the layout has not three ARP-only hosts"; exit 1; }

scan base.csv 0 --format csv --header
scan base.json 0 --format json
hosts=$(($(wc -l <"$work/base.csv") - 1))
[ "$hosts" -eq 6 ] || { echo "expected the five hosts and the scanner, found $hosts"; cat "$work/base.csv"; exit 1; }

# Nothing changed: every Change field is empty, the exit status 0.
scan same.tsv 0 --against "$work/base.json"
awk -F '\t' 'NF != 10 || $10 != "" { bad = 1; print "changed? " $0 } END { exit bad }' "$work/same.tsv"
[ "$(wc -l <"$work/same.tsv")" -eq "$hosts" ] || { echo "the unchanged scan lists other hosts"; exit 1; }
grep -qx 'Changes: none' "$work/same.tsv.err" || { echo "no 'Changes: none'"; cat "$work/same.tsv.err"; exit 1; }

# The same through a stored result of the configuration document, by its name.
{
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<config><Result><Result><id value="1"/><Name value="office"/><IPRange value="198.18.0.0/24"/></Result>'
    echo '</Result><Item>'
    tail -n +2 "$work/base.csv" | awk -F , '{ printf "<Item><id value=\"%d\"/><ResultId value=\"1\"/>", NR
        printf "<IP value=\"%s\"/><MAC value=\"%s\"/><HostName value=\"%s\"/></Item>\n", $1, $2, $3 }'
    echo '</Item></config>'
} >"$work/data/Tessvale/Tessvale.xml"
scan stored.tsv 0 --against office
awk -F '\t' 'NF != 10 || $10 != "" { bad = 1; print "changed? " $0 } END { exit bad }' "$work/stored.tsv"
[ "$(wc -l <"$work/stored.tsv")" -eq "$hosts" ] || { echo "the stored result's scan lists other hosts"; exit 1; }

# New, gone, MAC changed and a conflict: new_ip, new_mac, changed_mac, conflict_ns and
# conflict_mac tell which.
# shellcheck source=tests/network/change_network.sh
. "$(dirname "$0")/change_network.sh"
change_network 198.18.0.200 02:54:56:00:00:02

scan changed.tsv 3 --against "$work/base.csv" --header
head -n 1 "$work/changed.tsv" | grep -q '	NetCard Vendor	Change$' || { echo "no Change column"; exit 1; }
change_of() { awk -F '\t' -v ip="$1" '$1 == ip { print $10 }' "$work/changed.tsv"; }
mac_of() { awk -F '\t' -v ip="$1" '$1 == ip { print $2 }' "$work/changed.tsv"; }
expect() { # IP CHANGE
    local actual
    actual=$(change_of "$1")
    [ "$actual" = "$2" ] || { echo "$1: change '$actual', not '$2'"; cat "$work/changed.tsv"; exit 1; }
}
expect "$new_ip" new
expect "${arp_ips[0]}" gone
expect "${arp_ips[1]}" "MAC changed"
expect "${arp_ips[2]}" conflict
[ "$(mac_of "$new_ip")" = "${new_mac^^}" ] || { echo "the new host's MAC is wrong"; exit 1; }
[ "$(mac_of "${arp_ips[0]}")" = "${arp_macs[0]}" ] || { echo "the gone host's line lacks its old MAC"; exit 1; }
[ "$(mac_of "${arp_ips[1]}")" = "${changed_mac^^}" ] || { echo "the changed host shows another MAC"; exit 1; }
case "$(mac_of "${arp_ips[2]}")" in
"${arp_macs[2]}" | "${conflict_mac^^}") ;;
*) echo "the conflicting address shows neither MAC"; exit 1 ;;
esac
# The other hosts (the NetBIOS hosts and the scanner) are unchanged.
others=$(awk -F '\t' 'NR > 1 && $10 == ""' "$work/changed.tsv" | wc -l)
[ "$others" -eq 3 ] || { echo "$others unchanged hosts, not 3"; cat "$work/changed.tsv"; exit 1; }
grep -qx 'Changes: 1 new, 1 gone, 1 changed, 1 conflict' "$work/changed.tsv.err" || {
    echo "unexpected summary:"
    cat "$work/changed.tsv.err"
    exit 1
}

# A baseline that is not there is a usage error, before anything is scanned.
status=0
ip netns exec "$SCANNER_NS" env APPDATA="$work/data" "$tessvale" --scan 198.18.0.0/24 \
    --against "$work/missing.tsv" >"$work/missing" 2>&1 || status=$?
[ "$status" -eq 2 ] || { echo "a missing baseline exited with $status, not 2"; exit 1; }
grep -q "no stored result is named '$work/missing.tsv' and there is no such file" "$work/missing" || {
    cat "$work/missing"
    exit 1
}

echo "ok: new, gone, MAC changed and conflict found against the earlier output; an unchanged network compares equal"
