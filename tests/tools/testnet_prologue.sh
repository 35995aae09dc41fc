# shellcheck shell=bash disable=SC2034
# Sourced by the tests that run over the namespace test network:
#   testnet_needs REASON CMD...      exits 77 (skipped) with "skipped: needs REASON" unless
#                                    run as root with network namespaces and every CMD
#   testnet_at_exit FUNCTION         calls FUNCTION when the test ends, before the
#                                    network is taken down; later ones first
#   testnet_up TESTNET SHORT ARGS... brings the network up with `TESTNET up ARGS` and a
#                                    per-run id that starts with SHORT, and loads its env
#   testnet_exited STATUS WANTED LOG WHAT
#                                    fails the test, showing LOG, unless WHAT (a command
#                                    run) exited with WANTED
#   testnet_same_hosts EXPECTED ACTUAL COUNTS LOG [NAME]
#                                    fails the test unless the listed hosts ACTUAL are
#                                    those of EXPECTED and LOG has a line matching the
#                                    pattern COUNTS (grep -E); NAME starts the messages
# Sets work (a temporary folder, removed at the end) and net (the network's folder).
work=$(mktemp -d)
net=""
testnet_script=""
testnet_exit_commands=()

testnet_needs() {
    local reason=$1
    shift
    local ok=1 cmd
    if [ "$(id -u)" -ne 0 ] || ! ip netns list >/dev/null 2>&1; then
        ok=0
    fi
    for cmd in "$@"; do
        command -v "$cmd" >/dev/null || ok=0
    done
    if [ "$ok" -eq 0 ]; then
        echo "skipped: needs $reason"
        exit 77
    fi
}

testnet_at_exit() {
    testnet_exit_commands=("$1" "${testnet_exit_commands[@]}")
}

testnet_cleanup() {
    local cmd
    for cmd in "${testnet_exit_commands[@]}"; do
        "$cmd" 2>/dev/null || true
    done
    if [ -n "$net" ]; then "$testnet_script" down "$net"; fi
    rm -rf "$work"
}
trap testnet_cleanup EXIT

testnet_up() {
    testnet_script=$1
    local short=$2
    shift 2
    net=$("$testnet_script" up "$@" --id "$short$(printf '%x' $(($$ % 65536)))" | tail -n 1)
    # shellcheck disable=SC1091
    . "$net/env"
}

testnet_exited() {
    [ "$1" -eq "$2" ] && return 0
    echo "$4 exited with $1, not $2"
    cat "$3"
    exit 1
}

testnet_same_hosts() {
    local expected=$1 actual=$2 counts=$3 log=$4 name=${5:+$5: }
    if ! diff -u "$expected" "$actual"; then
        echo "${name}the listed hosts differ from the answering hosts"
        exit 1
    fi
    grep -qE "$counts" "$log" && return 0
    echo "${name}unexpected counts:"
    cat "$log"
    exit 1
}
