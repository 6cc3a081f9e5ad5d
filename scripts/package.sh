#!/usr/bin/env bash
# Builds the installable packages into dist/:
#   quillet_<version>_amd64.deb         quillet, quillet-cli and edb for Debian 12 and later
#   quillet-<version>-win64.zip         quillet.exe and edb.exe, portable, with a README
#   quillet-<version>-setup.exe         a per-user Windows installer (NSIS)
# from the release tree build/release (only the three programs are built) and the Windows
# tree build/windows. The .deb is put together with dpkg-deb rather than CPack: the
# programs have no install rules to keep up, and every file lintian looks at (stripped
# programs, compressed manual pages, changelog, copyright, modes) is laid out here in one
# place, with dpkg-shlibdeps working out the runtime libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
version=$(sed -n 's/^project(quillet VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt's project()" >&2; exit 1; }
# Dates inside the packages come from the last commit, so that one tree gives the same files.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# ---- Debian package ----
# Debian's hardening flags, as a package built by its own tools would have them.
cmake --preset release "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build --preset release --target quillet quillet-cli edb

root="$stage/deb"
install -d -m 0755 "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/applications" \
    "$root/usr/share/icons/hicolor/scalable/apps" "$root/usr/share/metainfo" "$root/usr/share/man/man1" \
    "$root/usr/share/doc/quillet"
for program in app/quillet app/quillet-cli tools/edb/edb; do
    install -m 0755 "build/release/$program" "$root/usr/bin/"
    strip --remove-section=.comment --remove-section=.note --strip-unneeded "$root/usr/bin/$(basename "$program")"
done
install -m 0644 packaging/quillet.desktop "$root/usr/share/applications/"
install -m 0644 ui/icons/quillet.svg "$root/usr/share/icons/hicolor/scalable/apps/"
release_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)
sed "s/@VERSION@/$version/; s/@DATE@/$release_date/" packaging/app.quillet.Quillet.metainfo.xml \
    >"$root/usr/share/metainfo/app.quillet.Quillet.metainfo.xml"
for page in packaging/man/*.1.txt; do
    name=$(basename "$page" .txt)
    scripts/man_page.py "$page" "$version" | gzip -9n >"$root/usr/share/man/man1/$name.gz"
done
install -m 0644 packaging/debian/copyright "$root/usr/share/doc/quillet/"
sed "s/@VERSION@/$version/; s/@DATE@/$(date -u -R -d "@$SOURCE_DATE_EPOCH")/" packaging/debian/changelog.in |
    gzip -9n >"$root/usr/share/doc/quillet/changelog.gz"
find "$root/usr" -type f ! -path '*/usr/bin/*' -exec chmod 0644 {} +

# dpkg-shlibdeps wants a debian/control beside the files it looks at.
mkdir -p "$stage/shlibs/debian"
printf 'Source: quillet\n\nPackage: quillet\nArchitecture: amd64\n' >"$stage/shlibs/debian/control"
depends=$(cd "$stage/shlibs" && dpkg-shlibdeps -O "$root"/usr/bin/* 2>/dev/null |
          sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package.sh: dpkg-shlibdeps found no libraries" >&2; exit 1; }
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed "s/@VERSION@/$version/; s/@SIZE@/$size/; s/@DEPENDS@/$depends/" packaging/debian/control.in \
    >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
deb="dist/quillet_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "Built $deb"

# ---- Windows: portable zip and installer ----
scripts/build-windows.sh --target quillet edb
win="$stage/win"
mkdir -p "$win/quillet-$version"
cp build/windows/app/quillet.exe build/windows/tools/edb/edb.exe "$win/quillet-$version/"
# Windows' Notepad and the zip's readers expect CR LF line ends.
sed "s/@VERSION@/$version/g; s/\$/\r/" packaging/windows/README.txt >"$win/quillet-$version/README.txt"
zip="dist/quillet-$version-win64.zip"
rm -f "$zip"
find "$win/quillet-$version" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$win" && zip -q -X -r - "quillet-$version") >"$zip"
echo "Built $zip"

setup="dist/quillet-$version-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$win/quillet-$version" \
    -DOUTFILE="$PWD/$setup" packaging/windows/quillet.nsi
echo "Built $setup"
