#!/usr/bin/env bash
# Takes docs/window.png: the window under Xvfb, its receiver on a pty pair from socat.
# Needs xvfb, socat and imagemagick (import, convert). Usage: tools/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/window.png
pty=$(mktemp -u /tmp/quorvel-pty.XXXXXX)

socat pty,raw,echo=0,link="$pty" pty,raw,echo=0,link="$pty-peer" &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$pty" ] && break; sleep 0.1; done

mkdir -p docs
# Without a window manager the window sits undecorated at its own position, 330,117, and
# the client area is cut out of the screen.
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  "$1" --port "$2" & app=$!
  sleep 2
  import -window root -crop 175x350+330+117 +repage "$3"
  kill -TERM "$app"; wait "$app"
' _ "$build/app/quorvel" "$pty" "$out"
echo "wrote $out"
