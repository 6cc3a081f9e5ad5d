#!/usr/bin/env bash
# Installs Quillet for the current user: the program goes into a private program directory
# (~/.local/opt/quillet, mode 0700: the data files live beside the program and are the
# user's alone), and an entry with an icon into the desktop's application menu. The
# command-line tool quillet-cli goes beside the program when it was built with it.
#   scripts/install.sh                  builds the release (installing missing packages) and installs it
#   scripts/install.sh --binary FILE    installs an already built program instead
#   scripts/install.sh --uninstall      removes the program, the menu entry and the icon;
#                                       data.ini, data.edb, ftp.ini and the backups stay
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ]; then
    # Under sudo the program and its data would belong to root, not to the desktop user.
    echo "install.sh: run it as the user who will use Quillet, without sudo; it asks sudo itself" >&2
    echo "for the packages it needs." >&2
    exit 1
fi
if [ -z "${HOME:-}" ]; then
    echo "install.sh: HOME is not set" >&2
    exit 1
fi
home_owner=$(stat -L -c %u -- "$HOME" 2>/dev/null || true)
if [ "$(id -u)" -eq 0 ] && [ -n "$home_owner" ] && [ "$home_owner" -ne 0 ]; then
    # su -m, doas -s and the like keep the user's HOME: a root-owned private folder there
    # would lock that user out of the program and its data.
    echo "install.sh: you are root, but HOME ($HOME) belongs to $(stat -L -c %U -- "$HOME"); the program folder there" >&2
    echo "would be root's and closed to that user. Run it as that user, not through su -m or doas -s." >&2
    exit 1
fi
data_home=${XDG_DATA_HOME:-}
[[ $data_home == /* ]] || data_home="$HOME/.local/share"  # relative values are to be ignored
program_dir="$HOME/.local/opt/quillet"
program="$program_dir/quillet"
desktop_file="$data_home/applications/quillet.desktop"
icon_file="$data_home/icons/hicolor/scalable/apps/quillet.svg"

usage() {
    echo "usage: scripts/install.sh [--binary FILE | --uninstall]" >&2
    exit 2
}

# A value for the Exec key: one quoted argument with \ " ` $ escaped, then escaped once
# more as a string value, and % doubled since Exec gives it a meaning.
exec_argument() {
    local text=$1
    text=${text//\\/\\\\}
    text=${text//\"/\\\"}
    text=${text//\`/\\\`}
    text=${text//\$/\\\$}
    text="\"$text\""
    text=${text//\\/\\\\}
    printf '%s' "${text//%/%%}"
}

# A string value of a desktop entry.
string_value() {
    printf '%s' "${1//\\/\\\\}"
}

refresh_menu() {
    if command -v update-desktop-database >/dev/null; then
        update-desktop-database -q "$data_home/applications" 2>/dev/null || true
    fi
}

uninstall() {
    rm -f "$program" "$program_dir/.quillet.new" "$program_dir/quillet-cli" "$program_dir/.quillet-cli.new" \
          "$desktop_file" "$icon_file"
    refresh_menu
    echo "Removed Quillet and its menu entry."
    # Only what the installation put there is removed; the directory goes only when empty.
    if [ -d "$program_dir" ] && ! rmdir "$program_dir" 2>/dev/null; then
        echo "Your data files stay in $program_dir:"
        ls -A "$program_dir" | sed 's/^/  /'
    fi
}

install_program() {
    local binary=$1
    if [[ $HOME == *$'\n'* ]]; then
        echo "install.sh: a home directory whose name holds a line break cannot go into a menu entry" >&2
        exit 1
    fi
    mkdir -p "$program_dir" "$(dirname "$desktop_file")" "$(dirname "$icon_file")"
    chmod 0700 "$program_dir"
    # A new file renamed over the old one: a running Quillet keeps its own copy.
    install -m 0700 "$binary" "$program_dir/.quillet.new"
    mv -f "$program_dir/.quillet.new" "$program"
    local cli
    cli="$(dirname "$binary")/quillet-cli"
    if [ -f "$cli" ]; then
        install -m 0700 "$cli" "$program_dir/.quillet-cli.new"
        mv -f "$program_dir/.quillet-cli.new" "$program_dir/quillet-cli"
    fi
    install -m 0644 "$source_dir/ui/icons/quillet.svg" "$icon_file"
    local entry
    entry=$(mktemp "$desktop_file.XXXXXX")
    cat >"$entry" <<EOF
[Desktop Entry]
Type=Application
Name=Quillet
GenericName=Password Manager
GenericName[zh_CN]=密码管理器
Comment=Keep your passwords in one locked file
Comment[zh_CN]=把密码保存在一个加锁的文件里
Exec=$(exec_argument "$program")
TryExec=$(string_value "$program")
Icon=$(string_value "$icon_file")
Terminal=false
Categories=Utility;Security;
EOF
    chmod 0644 "$entry"
    mv -f "$entry" "$desktop_file"
    refresh_menu
    echo "Installed Quillet in $program_dir; it is in the application menu as \"Quillet\"."
}

case "${1:-}" in
    "")
        [ $# -eq 0 ] || usage
        cd "$source_dir"
        scripts/deps.sh run
        cmake --preset release >/dev/null
        cmake --build --preset release --target quillet quillet-cli
        install_program "$source_dir/build/release/app/quillet"
        ;;
    --binary)
        [ $# -eq 2 ] && [ -f "$2" ] || usage
        install_program "$2"
        ;;
    --uninstall)
        [ $# -eq 1 ] || usage
        uninstall
        ;;
    *) usage ;;
esac
