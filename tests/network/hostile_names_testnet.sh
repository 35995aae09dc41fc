#!/usr/bin/env bash
# Hosts that send hostile NetBIOS names (a formula, a tab and a line break, markup,
# letters beyond ASCII) over the test network: tessvale --scan keeps every row in one
# line of nine fields, marks formulas in its CSV form and keeps the letters, also when
# started without any locale (as cron starts it).
# Usage: hostile_names_testnet.sh TESSVALE_BINARY SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
tessvale=$1
source_dir=$2

# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces and python3" python3
peer=""
stop_peer() { if [ -n "$peer" ]; then kill "$peer"; fi; }
testnet_at_exit stop_peer
testnet_up "$source_dir/scripts/testnet" hn --subnet 198.18.0.0/24 --netbios 0 --arp-only 4

# The ARP-only hosts answer node-status queries with these names (hexadecimal bytes).
names=(
    "3d312b322a33"             # =1+2*3
    "5043094f4e450d0a58"       # PC<tab>ONE<CR><LF>X
    "3c623e50432d313c2f623e"   # <b>PC-1</b>
    "c39c424552"               # ÜBER in UTF-8
)
specs=()
i=0
while read -r ip mac _ _; do
    specs+=("$ip=$mac=${names[i]}")
    i=$((i + 1))
done <"$net/hosts.txt"
ip netns exec "tv${TESTNET_ID}a" python3 "$source_dir/tests/network/hostile_netbios_peer.py" "$work/ready" \
    "${specs[@]}" >"$work/peer.log" 2>&1 &
peer=$!
for _ in $(seq 50); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { echo "the hostile peer did not start"; cat "$work/peer.log"; exit 1; }

mkdir -p "$work/data/Tessvale"
scan() { # FORMAT OUTPUT: the scan of the hosts' range, no locale at all
    ip netns exec "$SCANNER_NS" env -i PATH="$PATH" APPDATA="$work/data" "$tessvale" --scan "$FIRST_HOST" \
        "$LAST_HOST" --format "$1" --sorted --timeout 500 >"$2" 2>"$work/err"
}
mapfile -t ips < <(awk '{ print $1 }' "$net/hosts.txt")
mapfile -t macs < <(awk '{ print $2 }' "$net/hosts.txt")

scan csv "$work/csv" || { echo "the CSV scan failed"; cat "$work/err"; exit 1; }
# The inventory (no credentials here) gives "-", the vendor listing nothing.
printf '%s\n' \
    "${ips[0]},${macs[0]},'=1+2*3,-,-,-,-,-," \
    "${ips[1]},${macs[1]},PC ONE  X,-,-,-,-,-," \
    "${ips[2]},${macs[2]},<b>PC-1</b>,-,-,-,-,-," \
    "${ips[3]},${macs[3]},ÜBER,-,-,-,-,-," >"$work/expected-csv"
diff -u "$work/expected-csv" "$work/csv" || { echo "the CSV rows differ"; exit 1; }

scan tsv "$work/tsv" || { echo "the TSV scan failed"; cat "$work/err"; exit 1; }
awk -F '\t' 'NF != 9 { bad = 1; print "line " NR " has " NF " fields" } END { exit bad }' "$work/tsv"
[ "$(wc -l <"$work/tsv")" -eq 4 ] || { echo "a name split its row:"; cat -A "$work/tsv"; exit 1; }
cut -f 3 "$work/tsv" >"$work/names"
printf '%s\n' "=1+2*3" "PC ONE  X" "<b>PC-1</b>" "ÜBER" | diff -u - "$work/names" || exit 1

scan json "$work/json" || { echo "the JSON scan failed"; cat "$work/err"; exit 1; }
python3 -c '
import json, sys
names = [json.loads(line)["HostName"] for line in open(sys.argv[1], encoding="utf-8")]
assert names == ["=1+2*3", "PC ONE  X", "<b>PC-1</b>", "\u00dcBER"], names
' "$work/json"
echo "ok: hostile names stay in their fields in csv, tsv and json"
