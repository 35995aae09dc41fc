#!/usr/bin/env bash
# The tray case with a real tray host: Xvfb, trayer holding the system tray selection,
# and the tray test on the xcb platform, which minimises the window, checks that it
# hides while AutoScan goes on, and brings it back by clicking the tray icon.
#   tray_xvfb_test.sh TRAY_TEST_BINARY
# Exits 77 (skipped) when Xvfb, trayer or xdotool is missing.
set -euo pipefail
test_binary=$1
# shellcheck source=tests/gui/tray_desktop.sh
. "$(dirname "$0")/tray_desktop.sh"

export QT_QPA_PLATFORM=xcb TESSVALE_REQUIRE_TRAY=1 APPDATA="$work/data"
mkdir -p "$APPDATA"
"$test_binary" realTrayHidesAndComesBackOnLeftClick
