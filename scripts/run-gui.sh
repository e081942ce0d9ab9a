#!/bin/sh
# Starts the Morvanta window, or explains why it cannot.
program="$1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Morvanta is a desktop program and needs a display (X11 or Wayland), and none was found." >&2
    echo "Without one, use the command-line tool:  $(dirname "$program")/morvanta-cli --help" >&2
    exit 1
fi
exec "$program"
