#!/usr/bin/env bash
# Single instance with real processes: a second start ends at once and leaves the first
# running; "-uninstall" closes the first; a socket left by a killed copy does not keep
# a new copy from starting.
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
export APPDATA=$work/data TESSVALE_INSTANCE_SOCKET=$work/instance QT_QPA_PLATFORM=offscreen
fail() {
    echo "FAIL: $*"
    exit 1
}
wait_for_socket() {
    for _ in $(seq 100); do
        [ -S "$TESSVALE_INSTANCE_SOCKET" ] && return 0
        sleep 0.1
    done
    fail "the first copy never listened"
}
ends_within() { # pid seconds
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

"$program" >"$work/first.log" 2>&1 &
first=$!
pids+=("$first")
wait_for_socket

timeout 10 "$program" >"$work/second.log" 2>&1 || fail "the second start did not end cleanly"
kill -0 "$first" 2>/dev/null || fail "the first copy ended on a second start"

timeout 10 "$program" -uninstall || fail "-uninstall did not end"
ends_within "$first" 10 || fail "-uninstall did not close the running copy"
wait "$first" || fail "the closed copy ended with an error"

# A copy that is killed leaves its socket file behind.
"$program" >"$work/third.log" 2>&1 &
third=$!
pids+=("$third")
wait_for_socket
kill -9 "$third"
wait "$third" 2>/dev/null || true
[ -S "$TESSVALE_INSTANCE_SOCKET" ] || fail "expected a stale socket after the kill"

"$program" >"$work/fourth.log" 2>&1 &
fourth=$!
pids+=("$fourth")
sleep 2
kill -0 "$fourth" 2>/dev/null || fail "a stale socket kept a new copy from starting"
timeout 10 "$program" -uninstall
ends_within "$fourth" 10 || fail "the new copy did not answer -uninstall"
echo "single instance: ok"
