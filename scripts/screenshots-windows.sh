#!/usr/bin/env bash
# Saves a picture of each of the six windows as the Windows build draws them to
# docs/screens/windows/<window>.png: form_preview.exe under Wine on a private Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh --target form_preview

export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)
wineserver=$(dirname "$wine64")/wineserver
display_file=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -f "$display_file"
}
trap cleanup EXIT
for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$display_file")"
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

pictures="$PWD/build/windows/screens"
rm -rf "$pictures" && mkdir -p "$pictures" docs/screens/windows
"$wine64" build/windows/tools/form_preview/form_preview.exe "Z:${pictures//\//\\}"

# BMP (24-bit, bottom-up) to PNG with nothing but the standard library.
python3 - "$pictures" docs/screens/windows <<'PY'
import os, struct, sys, zlib
source, target = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(source)):
    data = open(os.path.join(source, name), 'rb').read()
    offset, = struct.unpack_from('<I', data, 10)
    width, height = struct.unpack_from('<ii', data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rows.append(b'\0' + bytes(b for i in range(0, len(row), 3) for b in (row[i + 2], row[i + 1], row[i])))
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))
    open(os.path.join(target, name[:-4] + '.png'), 'wb').write(png)
PY
ls -l docs/screens/windows
