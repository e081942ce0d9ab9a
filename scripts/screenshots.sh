#!/bin/sh
# Screenshots of the mailer window and each of its menus, the help window and
# a browser window of the URL launcher, at 100% and 200% scaling, with a
# sample message loaded and its complaint addresses found.
#
#   scripts/screenshots.sh OUTDIR        (BUILD_DIR=build by default)
#
# The program runs under Xvfb in network and mount namespaces of its own
# (needs root, as CI has): it can reach nothing but a small WHOIS peer on
# loopback, and names resolve from a hosts file of ours, never the real name
# service. The built programs are copied into a temporary program folder
# with a Morvanta.ini that points every WHOIS server at that peer.
set -eu

script_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$script_dir")

if [ "${MORVANTA_SCREENSHOTS_ISOLATED:-}" != 1 ]; then
    [ $# -eq 1 ] || { echo "usage: scripts/screenshots.sh OUTDIR" >&2; exit 2; }
    for tool in unshare ip Xvfb xdotool xclip import convert python3; do
        command -v "$tool" >/dev/null 2>&1 \
            || { echo "screenshots: $tool is missing; run scripts/install-deps.sh" >&2; exit 1; }
    done
    build=${BUILD_DIR:-build}
    case "$build" in /*) ;; *) build="$source_dir/$build" ;; esac
    [ -x "$build/bin/morvanta" ] || { echo "screenshots: build first ($build/bin/morvanta is missing)" >&2; exit 1; }
    mkdir -p "$1"
    out=$(cd "$1" && pwd)
    MORVANTA_SCREENSHOTS_ISOLATED=1 BUILD_DIR="$build" \
        exec unshare --net --mount --fork sh "$0" "$out"
fi

out=$1
build=$BUILD_DIR
work=$(mktemp -d /tmp/morvanta-screenshots-XXXXXX)
peer_pid=""
web_pid=""
app_pid=""
xvfb_pid=""

stop() {
    # Only what this script started, by its process number.
    for pid in $app_pid $xvfb_pid $peer_pid $web_pid; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop EXIT INT TERM

ip link set lo up

# The name service of this namespace: our hosts file, and a resolver that
# points at a loopback port where nothing answers.
printf '127.0.0.1 localhost\n62.4.17.23 mail.bulksender-hosting.net\n' >"$work/hosts"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$work/resolv.conf"
mount --bind "$work/hosts" /etc/hosts
mount --bind "$work/resolv.conf" /etc/resolv.conf

python3 "$script_dir/screenshots/whois_peer.py" >"$work/port" &
peer_pid=$!
for _ in $(seq 50); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
port=$(cat "$work/port")
[ -n "$port" ] || { echo "screenshots: the WHOIS peer did not start" >&2; exit 1; }

# The page a browser window of the URL launcher shows.
web_port=8080
mkdir -p "$work/web"
cat >"$work/web/offer.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>You have been selected!</title></head>
<body style="font-family: sans-serif; margin: 2em">
<h1>Congratulations, you have been selected!</h1>
<p>Claim your prize before midnight. This page stands in for the kind of page
spam links to; it is served on loopback for the screenshots.</p>
</body></html>
HTML
python3 -m http.server "$web_port" --bind 127.0.0.1 --directory "$work/web" >"$work/web.log" 2>&1 &
web_pid=$!

program="$work/program"
mkdir -p "$program" "$work/config"
cp "$build/bin/morvanta" "$build/bin/morvanta-cli" "$program/"
cp "$source_dir"/data/program/* "$program/"
cat >"$program/Morvanta.ini" <<INI
[MailOptions]
HostAddress=127.0.0.1
DefaultFromEMailAddress=jane@example.net
DefaultFromName=Jane Doe

[Options]
DefaultWhoisHost=127.0.0.1
RipeWhoisHost=127.0.0.1
AfrinicWhoisHost=127.0.0.1
ApnicWhoisHost=127.0.0.1
JpnicWhoisHost=127.0.0.1
LacnicWhoisHost=127.0.0.1
BrnicWhoisHost=127.0.0.1
AbuseWhoisHost=127.0.0.1
WhoisPort=$port
NetworkTimeout=5
PopMailHostList=mx1.example.net

[SpamReport.txt]
DefaultSubject=Spam from %IP%
INI

# Waits until the command succeeds, at most about five seconds.
await() {
    for _ in $(seq 50); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "screenshots: timed out waiting for: $*" >&2
    return 1
}

# The window's geometry as WIDTHxHEIGHT+X+Y.
geometry_of() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "${WIDTH}x${HEIGHT}+${X}+${Y}"
}

shoot() {
    import -display "$DISPLAY" -window root -crop "$1" +repage "$2"
}

for scale in 1 2; do
    percent=$((scale * 100))
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1920x1440x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    await test -s "$work/display"
    export DISPLAY=":$(cat "$work/display")"

    # As root (the namespaces need it) the web view may only run unsandboxed
    # when allowed so.
    MORVANTA_ALLOW_UNSANDBOXED_WEB_VIEW=1 XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
        "$program/morvanta" >"$work/morvanta.log" 2>&1 &
    app_pid=$!
    await xdotool search --name '^Morvanta Mailer$'
    window=$(xdotool search --name '^Morvanta Mailer$' | head -n 1)
    sleep 1
    xdotool windowfocus --sync "$window"

    # Paste the sample message into the message box and find its contacts.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # xclip serves the clipboard until the display goes away.
    xclip -selection clipboard -i "$script_dir/screenshots/sample.eml" 2>/dev/null
    xdotool mousemove --window "$window" $((WIDTH / 2)) $((HEIGHT * 3 / 5)) click 1
    sleep 0.3
    xdotool key ctrl+v
    sleep 0.3
    xdotool key ctrl+Home
    xdotool key ctrl+f
    sleep 3

    area=$(geometry_of "$window")
    shoot "$area" "$out/mailer-$percent.png"
    for menu in m:mail t:tools h:help; do
        xdotool key "alt+${menu%%:*}"
        sleep 0.6
        shoot "$area" "$out/mailer-$percent-menu-${menu#*:}.png"
        xdotool key Escape Escape
        sleep 0.3
    done

    # The help window, opened with F1 at the mailer window's topic.
    xdotool key F1
    if await xdotool search --name '^Morvanta Help$'; then
        sleep 0.6
        help=$(xdotool search --name '^Morvanta Help$' | head -n 1)
        shoot "$(geometry_of "$help")" "$out/help-$percent.png"
        # Out of the way of the clicks that follow.
        xdotool windowunmap --sync "$help"
    fi

    # A browser window of the URL launcher, on a page served on loopback.
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    # The launcher opens each whole line that holds an address.
    printf 'http://127.0.0.1:%s/offer.html\n' "$web_port" \
        | xclip -selection clipboard -i 2>/dev/null
    xdotool mousemove --window "$window" $((WIDTH / 2)) $((HEIGHT * 3 / 5)) click 1
    sleep 0.3
    xdotool key ctrl+a ctrl+v ctrl+l
    # The web engine starts with the first window: give it time.
    if await xdotool search --onlyvisible --name '^Browser$' || await xdotool search --onlyvisible --name '^Browser$'; then
        sleep 3
        browser=$(xdotool search --onlyvisible --name '^Browser$' | head -n 1)
        shoot "$(geometry_of "$browser")" "$out/browser-$percent.png"
    fi

    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
done

echo "Screenshots are in $out:"
ls "$out"
