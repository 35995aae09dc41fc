# shellcheck shell=bash
# Sourced by the tests that need a desktop with a real tray host: checks the tools
# (exit 77, skipped, when one is missing), makes $work (removed at exit), starts Xvfb on
# a free display (exported as DISPLAY) and trayer holding the system tray selection.
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
