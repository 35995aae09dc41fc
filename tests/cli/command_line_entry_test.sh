#!/usr/bin/env bash
# Every command-line entry point with hostile input, without a network: one table per
# entry point of (arguments, set-up, expected exit status, expected message, state of
# the files after). Runs a private copy of the program, so the lookup files beside it
# and the dump folder are this test's own.
#
#   command_line_entry_test.sh TESSVALE
set -uo pipefail
[ $# -eq 1 ] || {
    echo "usage: $0 TESSVALE" >&2
    exit 2
}
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
cp "$1" "$work/tessvale"
# The window program it becomes for a window, beside it as in a build tree.
[ -x "$(dirname "$1")/tessvale-window" ] && cp "$(dirname "$1")/tessvale-window" "$work/"
program=$work/tessvale
export APPDATA=$work/appdata
mkdir -p "$APPDATA/Tessvale"
config=$APPDATA/Tessvale/Tessvale.xml
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# check NAME EXPECTED-STATUS MESSAGE-PATTERN OUTPUT -- ARGS...: runs the program with
# stdout to OUTPUT (a path, or "closed" for a closed descriptor) and compares.
check() {
    local name=$1 status=$2 pattern=$3 output=$4
    shift 5
    local got
    if [ "$output" = closed ]; then
        timeout 20 "$program" "$@" >&- 2>"$work/err"
    else
        timeout 20 "$program" "$@" >"$output" 2>"$work/err"
    fi
    got=$?
    [ "$got" -eq "$status" ] || fail "$name: exit status $got, expected $status ($(head -c 300 "$work/err"))"
    if [ -n "$pattern" ]; then
        grep -Eq -- "$pattern" "$work/err" || fail "$name: stderr does not match '$pattern': $(head -c 300 "$work/err")"
    elif [ -s "$work/err" ]; then
        fail "$name: stderr should be empty: $(head -c 300 "$work/err")"
    fi
}

# --- --help and --version: their answer is checked like any output.
check "help to a full disk" 4 '^tessvale: write error: No space left on device$' /dev/full -- --help
check "version to a full disk" 4 '^tessvale: write error: No space left on device$' /dev/full -- --version
check "help to a closed stdout" 4 '^tessvale: write error: Bad file descriptor$' closed -- --help
check "help" 0 '' "$work/out" -- --help
grep -q '^  4    write error' "$work/out" || fail "help names no exit status 4"
[ "$(grep -c 'write error' "$work/err")" -le 1 ] || fail "the write error is said more than once"

# --- Mistyped command lines: usage and 2, no window, no dump.
check "-scan" 2 "'-scan' is not an option; did you mean --scan\?" /dev/null -- -scan 198.18.52.0/24
check "bare range" 2 "a range is scanned with --scan 198.18.52.0/24" /dev/null -- 198.18.52.0/24
check "bare address" 2 "is not an option" /dev/null -- 198.18.52.1
check "-help" 2 "did you mean --help\?" /dev/null -- -help
check "unknown word" 2 "'frobnicate' is no option or command of the program" /dev/null -- frobnicate
check "unknown --option" 2 "unknown option '--frobnicate'" /dev/null -- --frobnicate
check "no display" 1 "no display to show the window on" /dev/null --
DISPLAY=:97 check "unreachable display" 1 "the window cannot be shown" /dev/null --
[ ! -e "$work/dump" ] || fail "a dump folder was made: $(ls "$work/dump")"

# --- Lookups: malformed arguments are refused and the earlier files stay as they were.
printf 'old ip2mac\r\n' >"$work/IP2MAC.txt"
printf 'old mac2ip' >"$work/MAC2IP.txt"
while IFS='|' read -r arguments pattern; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    check "lookup $arguments" 2 "$pattern" /dev/null -- $arguments
done <<'TABLE'
-m|^tessvale -m: the first address of the range is missing$
-i|^tessvale -i: the MAC address is missing$
-w|^tessvale -w: the MAC address is missing$
-w zzzzzzzzzzzz|'zzzzzzzzzzzz' is not a MAC address
-w 00:11:22:33:44|'00:11:22:33:44' is not a MAC address
-m 198.18.52.300|'198.18.52.300' is not an IPv4 address
-m 198.18.52.10 junk|'junk' is not an IPv4 address
-m 198.18.52.12 198.18.52.10|the last address 198.18.52.10 lies below the first 198.18.52.12
-m 3323081738|'3323081738' is not an IPv4 address
-m 198.18.13322|'198.18.13322' is not an IPv4 address
-m 0xc612340a|'0xc612340a' is not an IPv4 address
-i 00:11:22:33:44 198.18.52.1|'00:11:22:33:44' is not a MAC address
-i GG:11:22:33:44:55 198.18.52.1 198.18.52.9|'GG:11:22:33:44:55' is not a MAC address
TABLE
check "lookup -m empty" 2 'the first address of the range is missing' /dev/null -- -m ""
[ "$(cat "$work/IP2MAC.txt")" = "$(printf 'old ip2mac\r\n')" ] || fail "IP2MAC.txt changed"
[ "$(cat "$work/MAC2IP.txt")" = "old mac2ip" ] || fail "MAC2IP.txt changed"

# Nowhere to write the file (a folder stands in its place, a file in the data folder's):
# the reason on stderr although it is no terminal, the write-error status, no file.
mkdir "$work/IP2MAC.txt.d" && rm "$work/IP2MAC.txt" && mv "$work/IP2MAC.txt.d" "$work/IP2MAC.txt"
mv "$APPDATA" "$APPDATA.saved" && : >"$APPDATA"
check "lookup without a folder to write" 4 '^tessvale: cannot write IP2MAC.txt: ' /dev/null -- -m 127.0.0.2
rm -f "$APPDATA" && mv "$APPDATA.saved" "$APPDATA" && rmdir "$work/IP2MAC.txt"
# A silent address: the file is written whole, empty, and the status says nothing answered.
printf 'old ip2mac\r\n' >"$work/IP2MAC.txt"
check "lookup of a silent address" 1 '' /dev/null -- -m 127.0.0.2
if [ ! -f "$work/IP2MAC.txt" ] || [ -s "$work/IP2MAC.txt" ]; then
    fail "IP2MAC.txt is not the new empty file"
fi
for left in "$work"/IP2MAC.txt.tmp-*; do
    [ -e "$left" ] && fail "a temporary file was left: $left"
done

# --- --scan: output checked; the configuration file reported by name and reason.
check "scan header to a full disk" 4 '^tessvale: write error: No space left on device$' /dev/full \
    -- --scan 127.0.0.2 127.0.0.2 --timeout 50 --header
check "scan header to a closed stdout" 4 '^tessvale: write error: Bad file descriptor$' closed \
    -- --scan 127.0.0.2 127.0.0.2 --timeout 50 --header
check "timeout 0" 2 "--timeout: '0' is not a number of milliseconds from 50 to 60000" /dev/null \
    -- --scan 127.0.0.2 127.0.0.2 --timeout 0
check "threads 1502" 2 "--threads: '1502' is not a number from 0 to 256" /dev/null \
    -- --scan 127.0.0.2 127.0.0.2 --threads 1502
check "range cap per run" 2 "together, more than 16777216" /dev/null -- --scan 10.0.0.0/8 11.0.0.0/8
check "leading zeros are decimal" 1 '^Online:0/Offline:1$' /dev/null -- --scan 127.0.0.010 127.0.0.010 --timeout 50

good='<?xml version="1.0"?><config><settings><settings><id value="1"/><NetbiosTimeoutMSeconds value="100"/></settings></settings><Result><Result><id value="1"/><Name value="yesterday"/></Result></Result><Item><Item><id value="1"/><ResultId value="1"/><IP value="127.0.0.2"/><MAC value="02:00:00:00:00:01"/><HostName value="-"/></Item></Item></config>'
# set-up|expected message (after "tessvale --scan: ")
while IFS='|' read -r setup pattern; do
    rm -rf "$config"
    eval "$setup"
    before=$([ -f "$config" ] && sha1sum <"$config" | head -c 40)
    [ -L "$config" ] && before="link"
    check "config: $setup" 2 "$pattern" /dev/null -- --scan 127.0.0.2 127.0.0.2 --timeout 50 --against yesterday
    grep -q 'no stored result can be read, as the configuration file' "$work/err" ||
        fail "config: $setup: --against does not say why the stored result cannot be read"
    after=$([ -f "$config" ] && sha1sum <"$config" | head -c 40)
    [ -L "$config" ] && after="link"
    [ "$before" = "$after" ] || fail "config: $setup: the file changed"
done <<TABLE
printf '%s' '${good:0:150}' >"\$config"|Tessvale.xml: not used: syntax error at line 1
printf 'not xml at all' >"\$config"|Tessvale.xml: not used: syntax error at line 1
: >"\$config"|Tessvale.xml: not used: the file is empty
head -c 3000 /dev/urandom >"\$config"|Tessvale.xml: not used: syntax error
python3 -c 'print("<a>"*100000+"</a>"*100000)' >"\$config"|Tessvale.xml: not used: its elements are nested deeper than 64 levels
mkdir "\$config"|Tessvale.xml: not used: a folder, not a file
ln -s "$work/nowhere" "\$config"|Tessvale.xml: not used: a symbolic link whose target does not exist
ln -s /etc/passwd "\$config"|Tessvale.xml: not used: syntax error
ln -s /dev/zero "\$config"|Tessvale.xml: not used: a device, not a regular file
mkfifo "\$config"|Tessvale.xml: not used: a FIFO, not a regular file
truncate -s 65M "\$config"|Tessvale.xml: not used: larger than 64 MiB
printf '<config>\\0<Result/></config>' >"\$config"|Tessvale.xml: not used: syntax error at line 1
TABLE

# A setting out of its range: the default is used, and the run says so once.
rm -rf "$config"
printf '%s' "${good/value=\"100\"/value=\"abc\"}" >"$config"
check "setting abc" 1 "Tessvale.xml: NetbiosTimeoutMSeconds 'abc' is not a number from 50 to 60000; the default 1000 is used" \
    /dev/null -- --scan 127.0.0.2 127.0.0.2 --timeout 50
[ "$(grep -c NetbiosTimeoutMSeconds "$work/err")" -eq 1 ] || fail "the setting's problem is not said once"
# An --against file that is empty or UTF-16 is named as such.
: >"$work/empty.tsv"
check "empty baseline" 1 "empty.tsv' is empty" /dev/null -- --scan 127.0.0.2 127.0.0.2 --timeout 50 --against "$work/empty.tsv"
printf '\xff\xfe1\x002\x007\x00' >"$work/utf16.tsv"
check "UTF-16 baseline" 2 "utf16.tsv' is UTF-16 text" /dev/null -- --scan 127.0.0.2 127.0.0.2 --timeout 50 --against "$work/utf16.tsv"

if [ "$failures" -gt 0 ]; then
    echo "$failures case(s) failed" >&2
    exit 1
fi
echo "all command-line entry cases passed"
