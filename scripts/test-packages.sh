#!/usr/bin/env bash
# Makes the packages (scripts/package.sh) and tries them as a user would install them.
#   The .deb: lintian, desktop-file-validate and appstreamcli on its files, and its
#   dependencies (runtime libraries only). As root with CI=true it is installed for real:
#   quillet-cli --version runs, quillet started as a throwaway user reaches the setup window
#   with its files in that user's ~/.local/share/quillet, and a purge leaves them. Run as
#   anyone else, apt-get only simulates the install.
#   The Windows installer: installed silently under Wine (the prefix in build/windows), the
#   installed quillet.exe started to its setup window, the uninstaller run; the data stays.
# The windows are looked for by caption on the X display in DISPLAY, or on a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/package.sh
version=$(sed -n 's/^project(quillet VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb="dist/quillet_${version}_amd64.deb"
setup="dist/quillet-${version}-setup.exe"
setup_caption=Registered  # the password setup window

status=0
failed() {
    echo "test-packages: FAILED: $*" >&2
    status=1
}
work=$(mktemp -d)
xvfb_pid=
test_user=
cleanup() {
    if [ -n "$test_user" ]; then
        pkill -KILL -u "$test_user" 2>/dev/null || true
        userdel -r "$test_user" 2>/dev/null || true
    fi
    if [ -n "${wineserver:-}" ]; then "$wineserver" -k 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$work/display")"
fi

# Waits up to 60 s for a window of this caption; its id on standard output.
wait_for_window() {
    local caption=$1 found
    for _ in $(seq 1 600); do
        if found=$(xdotool search --name "^$caption\$" 2>/dev/null | head -1) && [ -n "$found" ]; then
            echo "$found"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# ---- the Debian package's files ----
dpkg-deb --info "$deb" >"$work/info"
dpkg-deb --contents "$deb" >"$work/contents"
for file in usr/bin/quillet usr/bin/quillet-cli usr/bin/edb usr/share/applications/quillet.desktop \
            usr/share/icons/hicolor/scalable/apps/quillet.svg usr/share/metainfo/app.quillet.Quillet.metainfo.xml \
            usr/share/man/man1/quillet.1.gz usr/share/man/man1/quillet-cli.1.gz usr/share/man/man1/edb.1.gz \
            usr/share/doc/quillet/copyright; do
    grep -q " \./$file\$" "$work/contents" || failed "$deb lacks /$file"
done
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
if grep -q -- '-dev\b' <<<"$depends"; then failed "$deb depends on a development package"; fi
for needed in fonts-wqy-zenhei xdg-utils libqt6widgets6; do
    grep -q "$needed" <<<"$depends" || failed "$deb does not depend on $needed"
done
dpkg-deb --extract "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/quillet.desktop" || failed "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/app.quillet.Quillet.metainfo.xml" ||
    failed "appstreamcli validate"
# Errors and warnings fail: the package has none.
lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
cat "$work/lintian"
if grep -q '^E:' "$work/lintian"; then failed "lintian reports errors"; fi
if grep -q '^W:' "$work/lintian"; then
    failed "lintian reports warnings"
fi

if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = true ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q "./$deb" || failed "apt-get install $deb"
    quillet-cli --version | grep -qx "quillet-cli $version" || failed "quillet-cli --version"
    test_user="quillet-test-$$"
    useradd --create-home --shell /bin/sh "$test_user"
    home=$(getent passwd "$test_user" | cut -d: -f6)
    # Its runtime folder inside its home, so that removing the user removes it too.
    runuser -u "$test_user" -- mkdir -m 0700 "$home/.runtime"
    runuser -u "$test_user" -- env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin \
        XDG_RUNTIME_DIR="$home/.runtime" /usr/bin/quillet >"$work/quillet.log" 2>&1 &
    if wait_for_window "$setup_caption" >/dev/null; then
        [ -d "$home/.local/share/quillet" ] || failed "no $home/.local/share/quillet"
        [ "$(stat -c %a "$home/.local/share/quillet")" = 700 ] || failed "$home/.local/share/quillet is not 0700"
    else
        cat "$work/quillet.log" >&2
        failed "the installed quillet did not reach its setup window"
    fi
    pkill -KILL -u "$test_user" 2>/dev/null || true
    # The data a user had stays through a purge.
    runuser -u "$test_user" -- touch "$home/.local/share/quillet/data.ini"
    apt-get purge -y -q quillet || failed "apt-get purge quillet"
    [ -f "$home/.local/share/quillet/data.ini" ] || failed "the purge removed the user's data"
    userdel -r "$test_user" 2>/dev/null || true
    test_user=
else
    apt-get install --simulate "./$deb" >"$work/simulate" 2>&1 || { cat "$work/simulate"; failed "apt-get install --simulate"; }
    if grep '^Inst ' "$work/simulate" | grep -q -- '-dev '; then failed "installing $deb would bring a development package"; fi
    echo "test-packages: $deb was checked, not installed: installing it and starting it as a user"
    echo "needs root and CI=true (as CI runs it)."
fi

# ---- the Windows installer ----
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$wine64" "$setup" /S
"$wineserver" -w
local_app_data=$("$wine64" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
install_dir=$("$wine64" winepath -u "$local_app_data\\Programs\\Quillet" 2>/dev/null)
start_menu=$("$wine64" winepath -u "$("$wine64" cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
for file in quillet.exe edb.exe README.txt uninstall.exe; do
    [ -f "$install_dir/$file" ] || failed "the installer did not put $file into $install_dir"
done
[ -f "$start_menu/Quillet.lnk" ] || failed "no Start-menu shortcut in $start_menu"
"$wine64" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillet' /v UninstallString >/dev/null 2>&1 ||
    failed "no uninstall entry in Apps & features"
"$wine64" "$install_dir/quillet.exe" >/dev/null 2>&1 &
if ! wait_for_window "$setup_caption" >/dev/null; then failed "the installed quillet.exe did not reach its setup window"; fi
"$wineserver" -k 2>/dev/null || true
for file in data.ini data.edb ftp.ini data20240101.edb; do echo kept >"$install_dir/$file"; done
"$wine64" "$install_dir/uninstall.exe" /S
"$wineserver" -w
for file in quillet.exe edb.exe uninstall.exe; do
    [ ! -e "$install_dir/$file" ] || failed "the uninstaller left $file"
done
for file in data.ini data.edb ftp.ini data20240101.edb; do
    [ -f "$install_dir/$file" ] || failed "the uninstaller removed $file"
done
[ ! -e "$start_menu/Quillet.lnk" ] || failed "the uninstaller left the Start-menu shortcut"
rm -rf "$install_dir"
[ $status -eq 0 ] && echo "test-packages: the packages install, start and uninstall as they should."
exit $status
