#!/usr/bin/env bash
# The tray case with a real tray host: Xvfb, trayer holding the system tray selection,
# and the tray test on the xcb platform, which minimises the window, checks that it
# hides while AutoScan goes on, and brings it back by clicking the tray icon.
#   tray_xvfb_test.sh TRAY_TEST_BINARY
# Exits 77 (skipped) when Xvfb, trayer or xdotool is missing.
set -euo pipefail
test_binary=$1
for tool in Xvfb trayer xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/packages-test.txt lists it)"
        exit 77
    fi
done

work=$(mktemp -d)
xvfb=""
tray=""
cleanup() {
    [ -n "$tray" ] && kill "$tray" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number: parallel runs never collide.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:"
    cat "$work/xvfb.log"
    exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"

trayer --edge top --align right --widthtype pixel --width 160 --heighttype pixel --height 32 \
    --SetDockType true --transparent false >"$work/trayer.log" 2>&1 &
tray=$!
sleep 1
if ! kill -0 "$tray" 2>/dev/null; then
    echo "trayer did not start:"
    cat "$work/trayer.log"
    exit 1
fi

export QT_QPA_PLATFORM=xcb TESSVALE_REQUIRE_TRAY=1 APPDATA="$work/data"
mkdir -p "$APPDATA"
"$test_binary" realTrayHidesAndComesBackOnLeftClick
