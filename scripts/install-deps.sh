#!/bin/sh
# Installs the Debian packages Morvanta needs to build, run and test.
# Does nothing when every package is already there.
set -e

PACKAGES="
build-essential
cmake
make
pkg-config
qt6-base-dev
libqt6svg6
qt6-webengine-dev
libgl-dev
libsqlite3-dev
sqlite3
libssl-dev
openssl
ca-certificates
libcli11-dev
libgtest-dev
libgmock-dev
googletest
libbenchmark-dev
python3
python3-aiosmtpd
msmtp
whois
clang
libclang-rt-14-dev
xvfb
xauth
xdotool
xclip
imagemagick
desktop-file-utils
iproute2
traceroute
"

missing=""
for p in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "Installing missing packages:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "Packages are missing and neither root nor sudo is available:$missing" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends $missing
