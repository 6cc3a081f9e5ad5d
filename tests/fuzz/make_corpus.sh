#!/usr/bin/env bash
# Remakes the seed corpus of the fuzz targets with a built edb: make_corpus.sh EDB.
# An input is a data file, optionally followed by "\n--EDT--\n" and its auxiliary file.
set -euo pipefail
edb=$(realpath "$1")
corpus=$(cd "$(dirname "$0")" && pwd)/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The empty credential store, 548 bytes, as the program ships it.
/usr/bin/python3 - "$corpus/empty_store.edb" <<'PY'
import struct, sys
header = b"WEDB" + struct.pack("<idiii", 0x00010000, 44474.76592592592, 0, 5, 1283) + bytes(36 + 48)
fields = [("ID", 3, 4, 0)] + [(name, 10, 8 + 255 * i, 255) for i, name in enumerate(["平台", "账号", "密码", "网址", "备注"])]
body = struct.pack("<i", len(fields))
for name, kind, offset, width in fields:
    body += name.encode("gbk").ljust(20, b"\0") + struct.pack("<iii", kind, offset, width) + bytes(40)
open(sys.argv[1], "wb").write(header + body)
PY

# A scrambled store with a few records, one of them marked deleted.
"$edb" create store.edb ID:int 平台:text:255 账号:text:255 密码:text:255 网址:text:255 备注:text:255
"$edb" append store.edb 1 微信 alice 3f2a1b7c9d0e4f56 https://wx.example 第一条
"$edb" append store.edb 2 邮箱 bob@example.com 00112233445566778899 "" ""
"$edb" append store.edb 3 银行 carol 99887766 https://bank.example 备注
"$edb" delete store.edb 1
"$edb" passwd store.edb fuzz
cp store.edb "$corpus/scrambled_store.edb"

# Every field type, with a memo of two blocks, a freed chain and a byte-set: data and auxiliary file.
"$edb" create all.edb b:byte s:short i:int l:long f:float d:double t:bool w:datetime p:subptr x:text:8 y:bytes m:memo
"$edb" append all.edb 1 -2 3 -4 5.5 6.25 true "2021-10-05 18:22:56" 0x10 abcdefgh 00ff "$(printf 'm%.0s' {1..600})"
"$edb" append all.edb 0 0 0 0 0 0 false 0 0 "" "" "$(printf 'n%.0s' {1..300})"
"$edb" delete all.edb 1
"$edb" purge all.edb
"$edb" append all.edb 255 32767 -1 1 -0.5 1e300 1 44474.5 4294967295 x 0102030405 短备注
{ cat all.edb; printf '\n--EDT--\n'; cat all.EDT; } > "$corpus/all_types_with_aux"

# The same, scrambled.
"$edb" passwd all.edb fuzz
{ cat all.edb; printf '\n--EDT--\n'; cat all.EDT; } > "$corpus/all_types_scrambled_with_aux"
