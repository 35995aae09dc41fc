#!/usr/bin/env bash
# The name sources against real responders: nmbd (NetBIOS), avahi-daemon (unicast
# mDNS, with a static service file), dnsmasq (reverse DNS as the scanner's resolver), a
# firewalled host and a hostile mDNS responder. tessvale --scan shows each host's name
# from the right source (NetBIOS, else mDNS, else DNS), JSON carries every name by
# source and the service types, TSV keeps its nine fields, the firewalled host's waits
# overlap, and the scan with the name sources on takes no longer than with them off.
# Usage: names_testnet.sh TESSVALE_BINARY SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
tessvale=$1
source_dir=$2

# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces, python3, bc, setpriv, avahi-daemon, dnsmasq and nmbd" python3 bc setpriv \
    avahi-daemon dnsmasq nmbd
testnet_up "$source_dir/scripts/testnet" nm --subnet 198.18.0.0/24 --netbios 1 --arp-only 1 --mdns 1 --both 1 --dns 1 \
    --dns-mdns 1 --firewalled 1 --hostile-mdns 1

mkdir -p "$work/data/Tessvale"
scan() { # OUTPUT ARGUMENTS...: a scan of the whole subnet, unless a range is given
    local output=$1
    shift
    local -a range=("$SUBNET/$PREFIX")
    if [ "${1:-}" = --range ]; then
        range=("$2" "$3")
        shift 3
    fi
    ip netns exec "$SCANNER_NS" "${as_user[@]}" env APPDATA="$work/data" "$tessvale" --scan "${range[@]}" --sorted "$@" \
        >"$output" 2>"$work/err"
}

# As root (ARP by the raw packet socket), then as an unprivileged user (ARP through the
# kernel's neighbour table).
chmod 755 "$work"
chmod -R 777 "$work/data"
as_user=()
scan "$work/json" --format json || { echo "the JSON scan failed"; cat "$work/err"; exit 1; }
as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
ip -n "$SCANNER_NS" neigh flush all
scan "$work/json-unprivileged" --format json || { echo "the unprivileged JSON scan failed"; cat "$work/err"; exit 1; }
as_user=()
for json in "$work/json" "$work/json-unprivileged"; do
python3 - "$net/hosts.txt" "$net/names.txt" "$json" <<'EOF'
import json, sys

hosts = [line.split() for line in open(sys.argv[1])]
names = {line.split()[0]: line.split()[1:] for line in open(sys.argv[2])}
rows = {}
for line in open(sys.argv[3], encoding="utf-8"):
    row = json.loads(line)
    rows[row["IP"]] = row
failures = []
for ip, mac, shown, kind in hosts:
    row = rows.get(ip)
    if row is None:
        failures.append(f"{kind} host {ip} not found")
        continue
    if row["MAC"] != mac:
        failures.append(f"{kind} host {ip}: MAC {row['MAC']}, not {mac}")
    if kind == "hostile-mdns":
        # Every hostile answer ignored, the last well-formed one taken with its control
        # characters blanked; the service types cut at their bound.
        want = {"netbios": None, "mdns": "evil name .local", "dns": None}
        shown = "evil name .local"
        if len(row["services"]) != 32:
            failures.append(f"hostile host: {len(row['services'])} service types, not the bound of 32")
    elif kind in ("netbios", "arp"):
        want = {"netbios": None if shown == "-" else shown, "mdns": None, "dns": None}
    else:
        netbios, mdns, dns = names[ip]
        want = {"netbios": None if netbios == "-" else netbios, "mdns": None if mdns == "-" else mdns,
                "dns": None if dns == "-" else dns}
    if row["HostName"] != shown:
        failures.append(f"{kind} host {ip}: shown {row['HostName']!r}, not {shown!r}")
    if row["names"] != want:
        failures.append(f"{kind} host {ip}: names {row['names']}, not {want}")
    if kind in ("mdns", "both", "dns-mdns") and row["services"] != ["_http._tcp", "_ipp._tcp"]:
        failures.append(f"{kind} host {ip}: services {row['services']}")
    if kind in ("netbios", "arp", "dns", "firewalled") and row["services"]:
        failures.append(f"{kind} host {ip}: services {row['services']} from nowhere")
if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"ok: {len(hosts)} hosts, each named from the right source ({sys.argv[3].rsplit('/', 1)[1]})")
EOF
done

# The nine fields of TSV stay as they were: the shown name is the third.
scan "$work/tsv" || { echo "the TSV scan failed"; cat "$work/err"; exit 1; }
awk -F '\t' 'NF != 9 { bad = 1; print "line " NR " has " NF " fields" } END { exit bad }' "$work/tsv"
while read -r ip _ shown kind; do
    [ "$kind" = hostile-mdns ] && shown="evil name .local"
    got=$(awk -F '\t' -v ip="$ip" '$1 == ip { print $3 }' "$work/tsv")
    [ "$got" = "$shown" ] || { echo "TSV: $kind host $ip shows '$got', not '$shown'"; exit 1; }
done <"$net/hosts.txt"
echo "ok: TSV keeps nine fields with the chosen name"

# Switched off, a source gives nothing: NetBIOS off shows the mDNS name of the host
# that has both; all off shows no name at all.
scan "$work/no-netbios" --format json --names mdns,dns
both_ip=$(awk '$4 == "both" { print $1 }' "$net/hosts.txt")
grep -q "\"IP\":\"$both_ip\",[^}]*\"HostName\":\"tv${TESTNET_ID}b1.local\"" "$work/no-netbios" ||
    { echo "with NetBIOS off the both host does not show its mDNS name"; grep "$both_ip" "$work/no-netbios"; exit 1; }
scan "$work/none" --names none
if awk -F '\t' '$3 != "-" { found = 1; print } END { exit !found }' "$work/none"; then
    echo "names with every source off"
    exit 1
fi
echo "ok: name sources switched off give no names"

# The firewalled host swallows the NetBIOS and mDNS queries: its waits overlap, the
# scan ends about one timeout after it was found, not two or three.
timed() { # ARGUMENTS...: the seconds a scan takes
    local start end
    start=$(date +%s.%N)
    scan "$work/timed" "$@"
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
on=$(timed --timeout 1000)
echo "scan of the /24 with the firewalled host, name sources on: ${on}s"
if [ "$(echo "$on > 1.9" | bc -l)" -eq 1 ]; then
    echo "the firewalled host's waits add up: ${on}s"
    exit 1
fi
echo "ok: the firewalled host's waits overlap"

# Without the firewalled host (whose one timeout ends every scan it is in), names on
# and off: best of three each, the machine is shared.
firewalled_ip=$(awk '$4 == "firewalled" { print $1 }' "$net/hosts.txt")
before=$(python3 -c 'import ipaddress, sys; print(ipaddress.ip_address(sys.argv[1]) - 1)' "$firewalled_ip")
best_on=99
best_off=99
for _ in 1 2 3; do
    t=$(timed --range "$FIRST_HOST" "$before" --timeout 1000)
    [ "$(echo "$t < $best_on" | bc -l)" -eq 1 ] && best_on=$t
    t=$(timed --range "$FIRST_HOST" "$before" --timeout 1000 --names netbios)
    [ "$(echo "$t < $best_off" | bc -l)" -eq 1 ] && best_off=$t
done
echo "scan of $FIRST_HOST-$before: name sources on ${best_on}s, NetBIOS names only ${best_off}s"
if [ "$(echo "$best_on - $best_off > 0.2" | bc -l)" -eq 1 ]; then
    echo "the name sources make the scan longer: ${best_on}s against ${best_off}s"
    exit 1
fi
echo "ok: the name sources add at most 0.2 s"
