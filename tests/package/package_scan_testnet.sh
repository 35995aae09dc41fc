#!/usr/bin/env bash
# The program unpacked from the Debian package into an empty folder scans the test
# network from there: every answering host with its MAC and NetBIOS name, nothing for
# the silent addresses, and nothing written into the unpacked folder.
# Usage: package_scan_testnet.sh PACKAGE_FOLDER SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
folder=$1
source_dir=$2
deb=${TESSVALE_PACKAGE:-$(ls "$folder"/tessvale_*.deb 2>/dev/null | head -n 1 || true)}
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "skipped: no package in $folder (scripts/package builds it; scripts/test does so first)"
    exit 77
fi
# shellcheck source=tests/tools/testnet_prologue.sh
. "$source_dir/tests/tools/testnet_prologue.sh"
testnet_needs "root, network namespaces and Samba's nmbd" nmbd

root="$work/root"
dpkg-deb -x "$deb" "$root"
find "$root" | sort >"$work/before"

testnet_up "$source_dir/scripts/testnet" pk --subnet 198.18.1.0/24 --netbios 3 --arp-only 3

awk '{ print $1 "\t" $2 "\t" $3 }' "$net/hosts.txt" | sort >"$work/expected"
hosts=$(wc -l <"$net/hosts.txt")

status=0
ip netns exec "$SCANNER_NS" env -u DISPLAY -u WAYLAND_DISPLAY APPDATA="$work/data" \
    "$root/usr/bin/tessvale" --scan "$FIRST_HOST" "$LAST_HOST" >"$work/out" 2>"$work/err" || status=$?
testnet_exited "$status" 0 "$work/err" "tessvale --scan"
# Host lines start with their address; a header line, when there is one, does not.
grep -E '^[0-9]' "$work/out" | awk -F '\t' '{ print $1 "\t" $2 "\t" $3 }' | sort >"$work/actual"
testnet_same_hosts "$work/expected" "$work/actual" "^Online:$hosts/" "$work/err"
find "$root" | sort >"$work/after"
if ! diff -u "$work/before" "$work/after"; then
    echo "the scan wrote into the unpacked package"
    exit 1
fi
echo "ok: the unpacked package listed its $hosts hosts"
