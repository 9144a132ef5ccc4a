#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would meet it: its file list, its
# dependencies, the installed programs run from a throw-away root (the simulator, the command
# line when the package has it, the window under a virtual X server), the data file types as
# GLib sees them and their names in both languages, the user guide where the programs look for
# it, the manual pages and --help/--version without a display, desktop-file-validate,
# appstreamcli and lintian. Usage: tools/package-check.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

[ -f "$build/CMakeCache.txt" ] ||
    cmake -S . -B "$build" -G Ninja -DBRIMWICK_BENCHMARKS=OFF >/dev/null
rm -f "$build"/brimwick_*.deb
cmake --build "$build" --target package
deb="$(echo "$build"/brimwick_*_"$(dpkg --print-architecture)".deb)"
[ -f "$deb" ] || { echo "package-check: no package was made" >&2; exit 1; }

work="$(mktemp -d)"
sim=""
cleanup() {
    [ -z "$sim" ] || { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

echo "== file list"
expected="$(cat <<'EOF'
/usr/bin/brimwick
/usr/bin/brimwick-sim
/usr/bin/brimwick-zh
/usr/lib/brimwick/ChipFacts.tsv
/usr/lib/brimwick/ChipInfo.chip
/usr/lib/brimwick/brimwick
/usr/lib/brimwick/brimwick-sim
/usr/lib/brimwick/brimwick-zh
/usr/lib/udev/rules.d/70-brimwick.rules
/usr/share/applications/brimwick-zh.desktop
/usr/share/applications/brimwick.desktop
/usr/share/doc/brimwick/UserGuide.html
/usr/share/doc/brimwick/UserGuide.pdf
/usr/share/doc/brimwick/UserGuide_zh_CN.html
/usr/share/doc/brimwick/UserGuide_zh_CN.pdf
/usr/share/doc/brimwick/changelog.gz
/usr/share/doc/brimwick/copyright
/usr/share/doc-base/brimwick-user-guide
/usr/share/icons/hicolor/128x128/apps/brimwick.png
/usr/share/icons/hicolor/16x16/apps/brimwick.png
/usr/share/icons/hicolor/22x22/apps/brimwick.png
/usr/share/icons/hicolor/24x24/apps/brimwick.png
/usr/share/icons/hicolor/256x256/apps/brimwick.png
/usr/share/icons/hicolor/32x32/apps/brimwick.png
/usr/share/icons/hicolor/48x48/apps/brimwick.png
/usr/share/icons/hicolor/64x64/apps/brimwick.png
/usr/share/icons/hicolor/scalable/apps/brimwick.svg
/usr/share/man/man1/brimwick-sim.1.gz
/usr/share/man/man1/brimwick-zh.1.gz
/usr/share/man/man1/brimwick.1.gz
/usr/share/metainfo/org.brimwick.brimwick.metainfo.xml
/usr/share/mime/packages/brimwick.xml
EOF
)"
actual="$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | LC_ALL=C sort)"
# The command-line program comes with its link and manual page, or not at all.
if grep -qx /usr/lib/brimwick/brimwick-cli <<<"$actual"; then
    expected+=$'\n/usr/bin/brimwick-cli\n/usr/lib/brimwick/brimwick-cli\n/usr/share/man/man1/brimwick-cli.1.gz'
fi
diff -u <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || fail "unexpected file list"

echo "== dependencies"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "$depends"
for needed in libqt6gui6 libqt6widgets6 libusb-1.0-0 qt6-translations-l10n xdg-utils \
    fonts-wqy-microhei; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed"
done

echo "== installed programs"
root="$work/root"
dpkg -x "$deb" "$root"
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_RUNTIME_DIR="$work/run" BRIMWICK_SIM_DIR="$work/sim"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$BRIMWICK_SIM_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
head -c 1048576 /dev/urandom >"$work/chip.bin"
"$root/usr/bin/brimwick-sim" --chip EN25T80 --image "$work/chip.bin" >"$work/sim.out" &
sim=$!
for _ in $(seq 100); do
    [ "$(wc -l <"$work/sim.out")" -ge 2 ] && break
    sleep 0.1
done
grep -q "Simulated programmer with EN25T80" "$work/sim.out" || fail "brimwick-sim did not start"

if [ -x "$root/usr/bin/brimwick-cli" ]; then
    "$root/usr/bin/brimwick-cli" --version
    "$root/usr/bin/brimwick-cli" --chip EN25T80 read "$work/read.bin"
    cmp "$work/read.bin" "$work/chip.bin" || fail "brimwick-cli read other bytes than the chip holds"
else
    echo "brimwick-cli is not in the package yet: no read through it"
fi

# The window only shows once start-up found the chip database and the programmer: a
# failure stops it at a message box first.
cat >"$work/window.sh" <<'EOF'
#!/usr/bin/env bash
"$1" &
program=$!
for _ in $(seq 200); do
    # The main window is 708 pixels wide, a message box far less.
    id="$(xwininfo -root -tree |
        awk '/"Brimwick\+": \(/ && / ([4-9][0-9][0-9]|[0-9][0-9][0-9][0-9]+)x[0-9]+\+/ {print $1; exit}')"
    if [ -n "$id" ] && xwininfo -id "$id" | grep -q "IsViewable"; then
        kill "$program"
        exit 0
    fi
    kill -0 "$program" 2>/dev/null || exit 2
    sleep 0.1
done
kill "$program"
exit 1
EOF
for program in brimwick brimwick-zh; do
    xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/window.sh" "$root/usr/bin/$program" ||
        fail "$program did not reach its main window"
    echo "$program: main window shown"
done
QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/brimwick" 2>"$work/offscreen.err" &&
    fail "brimwick ended by itself offscreen" || [ $? -eq 124 ] ||
    fail "brimwick failed offscreen: $(cat "$work/offscreen.err")"

echo "== user guide"
# Help > User Guide looks in the program's folder, then at this path from it.
from_program="$(grep -aoE '(\.\./)+share/doc/brimwick' "$root/usr/lib/brimwick/brimwick" |
    head -n1 || true)"
for page in UserGuide.pdf UserGuide.html UserGuide_zh_CN.pdf UserGuide_zh_CN.html; do
    [ -n "$from_program" ] && [ -f "$root/usr/lib/brimwick/$from_program/$page" ] ||
        fail "the programs do not find $page (they look in /usr/lib/brimwick/$from_program)"
done
echo "the guide is in /usr/lib/brimwick/$from_program"

echo "== manual pages, --help and --version without a display"
bash tests/desktop/check-manuals.sh "$root/usr/lib/brimwick" "$root/usr/share/man/man1"

echo "== file types"
desktop-file-validate "$root"/usr/share/applications/*.desktop
# The installed MIME package and desktop entry as a GLib desktop reads them.
share="$root/usr/share"
update-mime-database "$share/mime" 2>/dev/null
# Named in both languages, as the MIME database hands the names to file managers.
for names in "bin|Binary chip image|二进制芯片映像" "hex|Intel HEX file|Intel HEX 文件"; do
    IFS='|' read -r ext english chinese <<<"$names"
    parsed="$share/mime/application/x-brimwick-$ext.xml"
    grep -qF "<comment>$english</comment>" "$parsed" &&
        grep -qF "<comment xml:lang=\"zh_CN\">$chinese</comment>" "$parsed" ||
        fail "the .$ext type is not named \"$english\" and \"$chinese\": $(cat "$parsed")"
done
# GLib drops an entry whose program does not exist; the package is unpacked, not installed,
# so its entries are pointed at the unpacked programs for this query only.
sed -i "s|^Exec=\"/usr/|Exec=\"$root/usr/|" "$share"/applications/*.desktop
update-desktop-database "$share/applications"
printf 'x' >"$work/dump.bin"
printf ':00000001FF\n' >"$work/dump.hex"
for ext in bin hex; do
    type="$(XDG_DATA_DIRS="$share" gio info -a standard::content-type "$work/dump.$ext" |
        awk '/content-type/ {print $2}')"
    [ "$type" = "application/x-brimwick-$ext" ] || fail "a .$ext file is $type"
    opener="$(XDG_DATA_DIRS="$share" gio mime "$type")"
    grep -q ": brimwick.desktop$" <<<"$opener" || fail "brimwick.desktop does not open $type"
    echo ".$ext: $type, opened by brimwick.desktop"
done

echo "== metadata"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
# Warnings explained in the README are left; errors fail.
lintian --fail-on error --suppress-tags executable-in-usr-lib "$deb"
echo "package-check: $deb passed"
