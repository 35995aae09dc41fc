#!/usr/bin/env bash
# tessvale --scan over the test network's /24 lists exactly the answering hosts, each
# with its MAC, its NetBIOS name ("-" for ARP-only hosts) and its vendor.
# Usage: headless_scan_testnet.sh TESSVALE_BINARY SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
tessvale=$1
source_dir=$2

# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces and Samba's nmbd" nmbd
testnet_up "$source_dir/scripts/testnet" hs --subnet 198.18.0.0/24 --netbios 4 --arp-only 4

# A data folder of its own: default settings and a vendor listing that names the OUI
# of the first host.
mkdir -p "$work/data/Tessvale"
first_mac=$(awk 'NR == 1 { print $2 }' "$net/hosts.txt")
oui=$(echo "${first_mac:0:8}" | tr ':' '-')
printf 'OUI/MA-L\t\t\tOrganization\r\n%s   (hex)\t\tTessvale Test Vendor\r\n' "$oui" >"$work/data/Tessvale/oui.txt"

# Expected table: IP, MAC, name, vendor of every host; nothing for silent addresses.
while read -r ip mac name _; do
    vendor=""
    [ "${mac:0:8}" = "${first_mac:0:8}" ] && vendor="Tessvale Test Vendor"
    printf '%s\t%s\t%s\t%s\n' "$ip" "$mac" "$name" "$vendor"
done <"$net/hosts.txt" >"$work/expected.unsorted"
# The scanning computer itself answers with its adapter's MAC and no NetBIOS name.
scanner_mac=$(ip -n "$SCANNER_NS" -o link show eth0 | grep -oE 'link/ether [0-9a-f:]+' | awk '{ print toupper($2) }')
printf '%s\t%s\t-\t\n' "$SCANNER_IP" "$scanner_mac" >>"$work/expected.unsorted"
sort "$work/expected.unsorted" >"$work/expected"
hosts=$(($(wc -l <"$net/hosts.txt") + 1))

status=0
ip netns exec "$SCANNER_NS" env APPDATA="$work/data" "$tessvale" --scan "198.18.0.0/24" --header \
    >"$work/out" 2>"$work/err" || status=$?
testnet_exited "$status" 0 "$work/err" "tessvale --scan"

head -n 1 "$work/out" | grep -q '^IP	MAC	HostName	CPU' || { echo "no header line"; exit 1; }
tail -n +2 "$work/out" | awk -F '\t' '{ print $1 "\t" $2 "\t" $3 "\t" $9 }' | sort >"$work/actual"
testnet_same_hosts "$work/expected" "$work/actual" "^Online:$hosts/Offline:$((254 - hosts))\$" "$work/err"
# The same hosts from several ranges, in address order, as CSV; a range without any
# host ends with exit status 1.
status=0
ip netns exec "$SCANNER_NS" env APPDATA="$work/data" "$tessvale" --scan "$FIRST_HOST" "$LAST_HOST" \
    198.18.0.0/26 --format csv --sorted >"$work/sorted" 2>"$work/err" || status=$?
testnet_exited "$status" 0 "$work/err" "tessvale --scan with two ranges"
cut -d, -f1 "$work/sorted" >"$work/sorted-ips"
sort -t . -k 4,4n "$work/sorted-ips" | diff -u - "$work/sorted-ips" || { echo "not in address order"; exit 1; }
# Each answering address (the scanner's own too) once, also where the ranges overlap.
in_ranges() { # FIRST LAST FIRST2 LAST2: how many expected addresses lie in either range
    awk -F '\t' -v a="$1" -v b="$2" -v c="$3" -v d="$4" '
        function value(ip,    o) { split(ip, o, "."); return ((o[1] * 256 + o[2]) * 256 + o[3]) * 256 + o[4] }
        (value($1) >= value(a) && value($1) <= value(b)) || (value($1) >= value(c) && value($1) <= value(d)) { n++ }
        END { print n + 0 }' "$work/expected"
}
listed=$(in_ranges "$FIRST_HOST" "$LAST_HOST" 198.18.0.1 198.18.0.62)
[ "$(wc -l <"$work/sorted")" -eq "$listed" ] || {
    echo "each host must appear once: $(wc -l <"$work/sorted") lines, $listed expected"
    exit 1
}
status=0
ip netns exec "$SCANNER_NS" "$tessvale" --scan 198.18.0.240/29 --timeout 300 >"$work/none" 2>&1 || status=$?
testnet_exited "$status" 1 "$work/none" "a range without hosts"

# Ctrl-C ends a long scan at once with status 130 and the counts so far.
ip netns exec "$SCANNER_NS" env APPDATA="$work/data" "$tessvale" --scan 198.18.0.0/24 --threads 0 \
    --timeout 5000 >"$work/cut" 2>"$work/err" &
scan_pid=$!
sleep 1.5
kill -INT "$scan_pid"
status=0
wait "$scan_pid" || status=$?
testnet_exited "$status" 130 "$work/err" "an interrupted scan"
grep -q '^Online:[0-9]*/Offline:[0-9]*$' "$work/err" || { echo "no counts after Ctrl-C"; cat "$work/err"; exit 1; }

echo "ok: $hosts hosts listed with their names, MACs and vendors"
