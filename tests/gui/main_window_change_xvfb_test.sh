#!/usr/bin/env bash
# The change notification with a real tray host: Xvfb, trayer holding the system tray
# selection, and the change test on the xcb platform, which lets an AutoScan repetition
# with changes show the tray's balloon, keeps a picture of the screen beside the test
# (SHOT_DIR, default: a temporary folder) and clicks the balloon.
#   main_window_change_xvfb_test.sh CHANGE_TEST_BINARY [SHOT_DIR]
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
    if [ -n "$tray" ]; then kill "$tray" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
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
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

trayer --edge top --align right --widthtype pixel --width 160 --heighttype pixel --height 32 \
    --SetDockType true --transparent false >"$work/trayer.log" 2>&1 &
tray=$!
sleep 1
if ! kill -0 "$tray" 2>/dev/null; then
    echo "trayer did not start:"
    cat "$work/trayer.log"
    exit 1
fi

shots=${2:-$work}
mkdir -p "$shots"
export QT_QPA_PLATFORM=xcb APPDATA="$work/data" TESSVALE_SHOT_DIR="$shots"
mkdir -p "$APPDATA"
"$test_binary" trayNotificationPicture
test -s "$shots/notification.png"
