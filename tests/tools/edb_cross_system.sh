#!/usr/bin/env bash
# Data files move between the Linux and the Windows build unchanged: stores written by
# each edb (plain and password-scrambled, Chinese text, every field type, deleted and
# purged records) are read by the other, and both print the same bytes for them.
#   edb_cross_system.sh LINUX_EDB WINDOWS_EDB WORK_DIRECTORY [EMULATOR...]
# Exits 77 (skipped) when the Linux edb has not been built.
set -euo pipefail
linux_edb=$1 windows_edb=$2 work=$3
shift 3
emulator=("$@")
[ -x "$linux_edb" ] || { echo "no Linux edb at $linux_edb"; exit 77; }

rm -rf "$work" && mkdir -p "$work"
cd "$work"
linux() { "$linux_edb" "$@"; }
windows() { "${emulator[@]}" "$windows_edb" "$@"; }

# Writes the same stores with one edb; the file names say which.
write_stores() {
    local tool=$1 prefix=$2
    $tool create "$prefix-plain.edb" ID:int 平台:text:255 账号:text:255 密码:text:255 备注:memo
    $tool append "$prefix-plain.edb" 1 微信 "me\"\\" 'p@ss€' $'two\nlines'
    $tool append "$prefix-plain.edb" 2 邮箱 "" "" "$(printf 'm%.0s' $(seq 1 700))"
    $tool append "$prefix-plain.edb" 3 删除 x y z
    $tool delete "$prefix-plain.edb" 2
    $tool create "$prefix-types.edb" a:byte b:short c:long d:float e:double f:bool g:datetime h:subptr i:bytes k:int
    $tool append "$prefix-types.edb" 255 -32768 -9000000000 1.5 0.1 true "2021-10-05 18:22:56.5" 0x10 00ff10 -7
    $tool create "$prefix-secret.edb" ID:int 名称:text:64
    $tool passwd "$prefix-secret.edb" 密钥
    $tool append "$prefix-secret.edb" -p 密钥 7 加密的记录
    $tool append "$prefix-secret.edb" -p 密钥 8 第二条
    $tool delete "$prefix-secret.edb" -p 密钥 0
    $tool purge "$prefix-secret.edb" -p 密钥
}

write_stores linux linux >/dev/null
write_stores windows windows >/dev/null

status=0
for store in linux-plain linux-types linux-secret windows-plain windows-types windows-secret; do
    password=()
    case $store in *secret) password=(-p 密钥) ;; esac
    for command in info dump check; do
        linux "$command" "$store.edb" "${password[@]}" >"$store.$command.linux"
        windows "$command" "$store.edb" "${password[@]}" >"$store.$command.windows"
        if ! cmp -s "$store.$command.linux" "$store.$command.windows"; then
            echo "FAIL: $command $store.edb differs between the builds:"
            diff "$store.$command.linux" "$store.$command.windows" || true
            status=1
        fi
    done
done
# What each build wrote, each build reads the same: the stores written by the two match record for record.
for kind in plain types secret; do
    if ! cmp -s "linux-$kind.dump.linux" "windows-$kind.dump.linux"; then
        echo "FAIL: the $kind stores written by the two builds hold different records:"
        diff "linux-$kind.dump.linux" "windows-$kind.dump.linux" || true
        status=1
    fi
done
[ $status -eq 0 ] && echo "all stores read the same on both builds"
exit $status
