#!/usr/bin/env bash
# The main job: a local demo portal (nginx on 127.0.0.1:17223 serving
# tests/portal) and the downloader for game 7223 fetching its game from it,
# under wine64 on the current display (on a private Xvfb display when there is
# none; a screenshot is then saved to build/demo/screenshot.png).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

demo=$root/build/demo
mkdir -p "$demo"
headless=1
[ -n "${DISPLAY:-}" ] && headless=0
VORLA_USE_DISPLAY=$([ $headless = 0 ] && echo 1 || echo "") "$root/scripts/test-env.sh" start "$demo"
trap '"$root/scripts/test-env.sh" stop "$demo" >/dev/null' EXIT

echo "demo: portal on http://127.0.0.1:17223/ (serving $demo/portal)"
echo "demo: starting VorlaDownloader.exe (game 7223)"
"$root/scripts/wine-run.sh" "$demo" "$root/build/win64/bin/VorlaDownloader.exe" &
program=$!

if [ $headless = 1 ]; then
  export DISPLAY=$(cat "$demo/test-env/display")
  for _ in $(seq 1 100); do
    xdotool search --name '专版' >/dev/null 2>&1 && break
    sleep 0.2
  done
  sleep "${DEMO_SECONDS:-3}"
  import -window root "$demo/screenshot.png" 2>/dev/null && echo "demo: screenshot saved to $demo/screenshot.png"
  for w in $(xdotool search --name 'Vorla' 2>/dev/null); do echo "demo: window \"$(xdotool getwindowname "$w")\""; done
  WINEPREFIX=$demo/wineprefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
fi
wait $program || true
echo "demo: portal requests:"
sed 's/^/  /' "$demo/portal-logs/access.log"
