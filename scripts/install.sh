#!/bin/sh
# Installs the built Morvanta for one user.
#
#   scripts/install.sh [BUILD_DIR [PREFIX]]      (PREFIX defaults to ~/.local)
#
# The programs and their shipped files go into one program folder,
# PREFIX/lib/morvanta/, which also holds the user's tables, lists and logs
# and so must stay writable by whoever runs Morvanta. PREFIX/bin gets links
# to both programs, and the desktop gets a menu entry and an icon.
# Installing again replaces the programs and the help, and keeps the
# templates, settings, lists and logs that are there.
set -eu

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
prefix=${2:-${PREFIX:-$HOME/.local}}

fail() {
    echo "install: $*" >&2
    exit 1
}

case "$build" in
    /*) ;;
    *) build="$source_dir/$build" ;;
esac
case "$prefix" in
    "") fail "PREFIX is empty." ;;
    /*) ;;
    *) prefix="$(pwd)/$prefix" ;;
esac
# The menu entry quotes the program's path; these characters would need
# escapes that not every desktop reads alike.
case "$prefix" in
    *'"'* | *'`'* | *'$'* | *'\'* | *'%'* | *"
"*)
        fail "PREFIX must not contain \", \`, \$, \\, % or a line break: $prefix" ;;
esac

for program in morvanta morvanta-cli; do
    [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing: build first (make)."
done

program_folder="$prefix/lib/morvanta"
bin_folder="$prefix/bin"
applications="$prefix/share/applications"
icons="$prefix/share/icons/hicolor/scalable/apps"
mkdir -p "$program_folder" "$bin_folder" "$applications" "$icons"

# Copied beside the target and renamed over it, so a running copy keeps
# its file and nobody sees half a file.
replace() {
    cp "$1" "$2.new-$$"
    mv -f "$2.new-$$" "$2"
}

replace "$build/bin/morvanta" "$program_folder/morvanta"
replace "$build/bin/morvanta-cli" "$program_folder/morvanta-cli"
chmod 755 "$program_folder/morvanta" "$program_folder/morvanta-cli"

for shipped in "$source_dir"/data/program/*; do
    [ -f "$shipped" ] || continue
    name=$(basename "$shipped")
    case "$name" in
        # Ours alone: the newest version wins.
        Morvanta.html | RegistryAddresses.txt) replace "$shipped" "$program_folder/$name" ;;
        # The user's to change: only a missing one is put in place.
        *) [ -e "$program_folder/$name" ] || cp "$shipped" "$program_folder/$name" ;;
    esac
done

ln -sfn "../lib/morvanta/morvanta" "$bin_folder/morvanta"
ln -sfn "../lib/morvanta/morvanta-cli" "$bin_folder/morvanta-cli"

exec_path=$(printf '%s\n' "$bin_folder/morvanta" | sed 's/[&|]/\\&/g')
sed -e "s|@MORVANTA_EXEC_COMMAND@|\"$exec_path\"|" \
    -e "s|@MORVANTA_EXEC_PATH@|$exec_path|" \
    "$source_dir/data/desktop/morvanta.desktop" >"$applications/morvanta.desktop.new-$$"
mv -f "$applications/morvanta.desktop.new-$$" "$applications/morvanta.desktop"
replace "$source_dir/data/desktop/morvanta.svg" "$icons/morvanta.svg"

if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database -q "$applications" 2>/dev/null || true
fi

echo "Morvanta is installed in $program_folder"
echo "Start it from the desktop's menu or with $bin_folder/morvanta"
case ":${PATH:-}:" in
    *":$bin_folder:"*) ;;
    *) echo "($bin_folder is not on your PATH.)" ;;
esac
