#!/usr/bin/env bash
# Builds the four libraries the Windows build links that Debian packages only for Linux:
# libcurl (FTP and HTTP; TLS through the system's Schannel, so nothing else is needed),
# PCRE2, libsodium and expat, from Debian's own source packages with Debian's patches applied, as static
# mingw-w64 libraries under build/windows-libraries/prefix. Runs once; later calls find
# the libraries and return at once. A finished build is also kept in the user's cache
# (~/.cache/quillet), keyed by this script, the toolchain and the packages it builds from,
# so that a fresh clone on the same machine takes it from there instead of compiling again.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD/build/windows-libraries"
prefix="$root/prefix"

key=$( { cat scripts/build-windows-libraries.sh cmake/mingw-w64.cmake
         dpkg-query -W -f '${Package} ${Version}\n' g++-mingw-w64-x86-64-posix libcurl4-openssl-dev libpcre2-dev \
             libsodium-dev libexpat1-dev; } |
       sha256sum | cut -c1-16)
# A finished prefix names its key, so that one built by an older version of this script
# (a library fewer, another toolchain) is built anew rather than taken for current.
[ "$(cat "$prefix/.complete" 2>/dev/null)" = "$key" ] && exit 0
cache="${XDG_CACHE_HOME:-$HOME/.cache}/quillet/windows-libraries-$key"
if [ -f "$cache/.complete" ]; then
    rm -rf "$prefix" && mkdir -p "$root" && cp -a "$cache" "$prefix" && echo "$key" >"$prefix/.complete"
    exit 0
fi

# Only the system's package sources need root, as in deps.sh.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        echo "Adding Debian's source packages to apt's sources needs root: asking sudo..." >&2
        sudo "$@"
    fi
}
# Source packages come from the deb-src entries of the same Debian archive.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        as_root tee /etc/apt/sources.list.d/quillet-debian-src.sources >/dev/null
    as_root apt-get update -q
fi

rm -rf "$root/src" && mkdir -p "$root/src" "$prefix"
cd "$root/src"
# Unpacks a source package with Debian's patches: the version the Linux build links when
# the archive still has it, else the newest version the archive offers.
fetch_source() {
    local package=$1 binary=$2 version
    for version in "$(dpkg-query -W -f '${source:Version}' "$binary" 2>/dev/null)" \
                   $(apt-cache showsrc "$package" | sed -n 's/^Version: //p'); do
        [ -n "$version" ] && apt-get source -q "$package=$version" >/dev/null 2>&1 && return 0
    done
    echo "no source package of $package could be fetched" >&2
    return 1
}
fetch_source curl libcurl4-openssl-dev
fetch_source pcre2 libpcre2-dev
fetch_source libsodium libsodium-dev
fetch_source expat libexpat1-dev
curl_dir=$(find . -maxdepth 1 -type d -name 'curl-*' | head -1)
pcre2_dir=$(find . -maxdepth 1 -type d -name 'pcre2-*' | head -1)
sodium_dir=$(find . -maxdepth 1 -type d -name 'libsodium-*' | head -1)
expat_dir=$(find . -maxdepth 1 -type d -name 'expat-*' | head -1)

toolchain="$PWD/../../../cmake/mingw-w64.cmake"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
        -DBUILD_SHARED_LIBS=OFF "${launcher[@]}")

cmake -S "$curl_dir" -B build-curl "${common[@]}" -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_ZLIB=OFF -DUSE_LIBIDN2=OFF \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
    -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON \
    -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON \
    -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON -DENABLE_UNIX_SOCKETS=OFF >/dev/null
cmake --build build-curl
cmake --install build-curl >/dev/null

cmake -S "$pcre2_dir" -B build-pcre2 "${common[@]}" -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF \
    -DPCRE2_SUPPORT_JIT=OFF -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF >/dev/null
cmake --build build-pcre2
cmake --install build-pcre2 >/dev/null

# libsodium builds with autotools only, and Debian's source leaves its configure script
# to be generated.
(cd "$sodium_dir" && autoreconf -fi >/dev/null 2>&1 && ./configure -q --host=x86_64-w64-mingw32 --prefix="$prefix" --disable-shared --enable-static \
     --with-pic=no CC=x86_64-w64-mingw32-gcc-posix >/dev/null &&
 make -s -j"$(nproc)" >/dev/null && make -s install >/dev/null)

# Debian's source keeps expat's own tree in expat/. Without DTD support: the client refuses
# every document type anyway, and Debian's patches test XML_DTD by a value its CMake build
# does not give it.
cmake -S "$expat_dir/expat" -B build-expat "${common[@]}" -DEXPAT_DTD=OFF -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
cmake --build build-expat
cmake --install build-expat >/dev/null

echo "$key" >"$prefix/.complete"
mkdir -p "$(dirname "$cache")"
rm -rf "$cache.new" "$cache" && cp -a "$prefix" "$cache.new" && mv "$cache.new" "$cache"
