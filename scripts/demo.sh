#!/usr/bin/env bash
# The main job: a local demo portal (nginx on 127.0.0.1:17223 serving
# tests/portal and the generated installers) and the downloader for game 7223
# getting its game from it, under wine64.
#
# With a display and no request for the automatic run, the downloader opens on
# that display for a person to use. Without a display (or with DEMO_AUTO=1) it
# runs on a private Xvfb display and clicks through the whole story itself:
# start, the companion setup, the game, the install question, the installer;
# then it prints where the installed marker and the screenshots are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-common.sh"

demo=$root/build/demo
mkdir -p "$demo"
auto=${DEMO_AUTO:-}
[ -z "${DISPLAY:-}" ] && auto=1
VORLA_USE_DISPLAY=$([ -z "$auto" ] && echo 1 || echo "") "$root/scripts/test-env.sh" start "$demo"
trap '"$root/scripts/test-env.sh" stop "$demo" >/dev/null' EXIT
export WINEPREFIX=$demo/wineprefix
export DISPLAY=$(cat "$demo/test-env/display")
bin=$root/build/win64/bin
marker=$demo/installed.log
rm -f "$marker"
export VORLA_FIXTURE_LOG=$(winpath "$marker")

echo "demo: portal on http://127.0.0.1:17223/ (serving $demo/portal)"
# A fresh start: no earlier download of the demo game in this prefix.
temp_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name Temp | head -1)
rm -f "$temp_dir/7223.tmp.cfg" "$temp_dir"/KeldorSetup.exe* "$WINEPREFIX/drive_c/download"/XingchenSetup.exe*
# The downloader runs under watch: ended only by its own process id, and
# when it dies or hangs the demo says how (its exit, or its threads' stacks).
WATCH_ROOT=$root WATCH_BUILD=$demo WATCH_BIN=$bin WATCH_DIR=$demo/programs
. "$root/scripts/wine-watch.sh"
echo "demo: starting VorlaDownloader.exe (game 7223)"
watch_start downloader "$bin/VorlaDownloader.exe"

if [ -z "$auto" ]; then
  watch_wait downloader 86400 || true
  echo "demo: the downloader $(watch_how_ended "$(watch_status downloader)")"
  echo "demo: portal requests:"
  sed 's/^/  /' "$demo/portal-logs/access.log"
  exit 0
fi
# Whatever stops the demo early: say why, and end the downloader by its id.
fail() {
  echo "demo: $1" >&2
  watch_explain downloader >&2
  watch_end downloader
  exit 1
}

helper() { "$root/scripts/wine-run.sh" "$demo" "$bin/story-helper.exe" "$@" 2>/dev/null | tr -d '\r'; }
wait_visible() {  # <class> <seconds>: sets X Y
  local deadline=$((SECONDS + $2)) w v
  while [ $SECONDS -lt $deadline ]; do
    w=$(helper where "$1") && [ -n "$w" ] && { read -r X Y _ _ v <<<"$w"; [ "$v" = 1 ] && return 0; }
    sleep 0.5
  done
  return 1
}
click() { xdotool mousemove "$1" "$2"; sleep 0.2; xdotool mousemove "$(($1 + 1))" "$2"; sleep 0.2; xdotool click 1; }
shot() { import -window root "$demo/$1.png" 2>/dev/null && echo "demo: screenshot $demo/$1.png"; }

wait_visible 7223 90 || fail "the download page did not open"
shot 1-page
echo "demo: pressing 开始下载"
click $((X + 587)) $((Y + 339))
sleep 3
shot 2-downloading
wait_visible DownLoadFinished 300 || fail "the download did not finish"
shot 3-finished
echo "demo: pressing 立即安装"
click $((X + 261)) $((Y + 173))
for _ in $(seq 40); do grep -q '^installer' "$marker" 2>/dev/null && break; sleep 0.5; done
sleep 1
shot 4-installed
helper post 7223 2026 >/dev/null || true
watch_wait downloader 30 || true
echo "demo: the downloader $(watch_how_ended "$(watch_status downloader)")"

echo "demo: portal requests:"
sed 's/^/  /' "$demo/portal-logs/access.log"
if grep -q '^installer' "$marker" 2>/dev/null; then
  echo "demo: the game was downloaded, verified and installed:"
  sed 's/^/  /' "$marker"
  echo "demo: installed marker: $marker"
else
  echo "demo: the installer did not run" >&2
  exit 1
fi
echo "demo: screenshots: $demo/*.png"
