#!/usr/bin/env bash
# The Debian package as a user gets it: lintian reports no errors, it holds the
# installed layout and names its dependencies, the desktop entry and the AppStream
# metadata validate, the manual page renders without warnings, and the unpacked
# program answers --help, --version and an unknown option without a display.
# Usage: package_check.sh PACKAGE_FOLDER. Exit 77: skipped.
set -euo pipefail
folder=$1
deb=${TESSVALE_PACKAGE:-$(ls "$folder"/tessvale_*.deb 2>/dev/null | head -n 1 || true)}
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "skipped: no package in $folder (scripts/package builds it; scripts/test does so first)"
    exit 77
fi
for tool in lintian desktop-file-validate appstreamcli man dpkg-deb; do
    command -v "$tool" >/dev/null || {
        echo "skipped: $tool is missing (scripts/install-deps test installs it)"
        exit 77
    }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
echo "package: $deb"

# lintian: warnings are shown, errors fail.
status=0
lintian --allow-root --display-info --pedantic "$deb" >"$work/lintian" 2>&1 || status=$?
sed 's/^/  lintian: /' "$work/lintian"
if grep -q '^E: ' "$work/lintian"; then
    fail "lintian reports errors"
elif [ "$status" -ne 0 ]; then
    fail "lintian ended with $status"
fi

# Contents and dependencies.
dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/tessvale /usr/libexec/tessvale/arp-sweep /usr/libexec/tessvale/tessvale-window \
    /usr/libexec/tessvale/tessvale-inventory /usr/share/tessvale/NET_1.vssx /usr/share/tessvale/Language/Language.xml \
    /usr/share/tessvale/Language/deu.ini /usr/share/tessvale/Language/enu.ini \
    /usr/share/applications/net.tessvale.Tessvale.desktop /usr/share/icons/hicolor/scalable/apps/tessvale.svg \
    /usr/share/metainfo/net.tessvale.Tessvale.metainfo.xml /usr/share/man/man1/tessvale.1.gz \
    /usr/share/doc/tessvale/copyright /usr/share/doc/tessvale/changelog.gz; do
    grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "  Depends: $depends"
for needed in ieee-data qt6-qpa-plugins qt6-translations-l10n libcap2-bin libc6 libqt6widgets6 libqt6svg6 libpugixml1v5 libcurl4 libzip4; do
    [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] || fail "Depends lacks $needed"
done

# Desktop entry, icon and AppStream metadata, as installed.
root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/net.tessvale.Tessvale.desktop"
desktop-file-validate "$desktop" >"$work/desktop" 2>&1 || fail "desktop-file-validate: $(cat "$work/desktop")"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
appstreamcli validate --no-net "$root/usr/share/metainfo/net.tessvale.Tessvale.metainfo.xml" >"$work/appstream" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream")"
sed 's/^/  appstreamcli: /' "$work/appstream"

# The manual page renders without a warning and documents the forms and exit codes.
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/tessvale.1.gz" \
    >"$work/man" 2>"$work/man.err" || fail "man -l ended with an error"
[ -s "$work/man.err" ] && fail "man -l warns: $(cat "$work/man.err")"
for text in "EXIT STATUS" "--scan" "--format tsv|csv|json" "--header" "--sorted" "198.18.0.0/24" "-m FIRST" \
    "-i MAC FIRST" "-w MAC" "-uninstall" "130" "IP2MAC.txt" "/usr/share/tessvale/"; do
    grep -qF -- "$text" "$work/man" || fail "the manual page lacks '$text'"
done

# The unpacked program, with no display at all and its own data folder.
tessvale="$root/usr/bin/tessvale"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM APPDATA="$work/data" "$tessvale" "$@"; }
status=0
run --version >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] || fail "--version ended with $status: $(cat "$work/err")"
grep -qxE 'tessvale 3\.9 \(build [0-9]{8}\)' "$work/out" || fail "--version printed '$(cat "$work/out")'"
[ -s "$work/err" ] && fail "--version wrote to standard error: $(cat "$work/err")"
status=0
run --help >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] || fail "--help ended with $status: $(cat "$work/err")"
grep -q '^Usage: tessvale' "$work/out" || fail "--help printed no usage"
[ -s "$work/err" ] && fail "--help wrote to standard error: $(cat "$work/err")"
status=0
run --no-such-option >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with $status"
[ "$(wc -l <"$work/err")" -eq 2 ] && grep -q "unknown option '--no-such-option'" "$work/err" &&
    grep -q -- "--help" "$work/err" || fail "an unknown option wrote: $(cat "$work/err")"
[ -s "$work/out" ] && fail "an unknown option wrote to standard output"
[ "$(ls "$root/usr/bin")" = tessvale ] || fail "the program wrote into its bin folder: $(ls "$root/usr/bin")"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "ok: lintian without errors, layout, dependencies, desktop entry, AppStream, manual page, --help and --version"
