#!/usr/bin/env bash
# The change notification with a real tray host: Xvfb, trayer holding the system tray
# selection, and the change test on the xcb platform, which lets an AutoScan repetition
# with changes show the tray's balloon, keeps a picture of the screen beside the test
# (SHOT_DIR, default: a temporary folder) and clicks the balloon.
#   main_window_change_xvfb_test.sh CHANGE_TEST_BINARY [SHOT_DIR]
# Exits 77 (skipped) when Xvfb, trayer or xdotool is missing.
set -euo pipefail
test_binary=$1
# shellcheck source=tests/gui/tray_desktop.sh
. "$(dirname "$0")/tray_desktop.sh"

shots=${2:-$work}
mkdir -p "$shots"
export QT_QPA_PLATFORM=xcb APPDATA="$work/data" TESSVALE_SHOT_DIR="$shots"
mkdir -p "$APPDATA"
"$test_binary" trayNotificationPicture
test -s "$shots/notification.png"
