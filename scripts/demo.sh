#!/usr/bin/env bash
# The main job: a local demo portal (nginx on 127.0.0.1:17223 serving
# tests/portal) where vorla-publish publishes game 7223 from a generated
# installer (configuration, Metalink seed, torrent, the downloader stamped
# 7223), and that stamped downloader getting its game from it, under wine64.
# At the end vorla-stats shows the portal's log as a funnel.
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
"$root/scripts/build-host.sh"
. "$root/scripts/wine-common.sh"

demo=$root/build/demo
mkdir -p "$demo"
auto=${DEMO_AUTO:-}
[ -z "${DISPLAY:-}" ] && auto=1
# The portal starts with the static pages of tests/portal only: the game
# comes from vorla-publish below, not from the tests' fixture script.
mkdir -p "$demo/no-fixtures"
VORLA_PORTAL_FIXTURES=$demo/no-fixtures VORLA_USE_DISPLAY=$([ -z "$auto" ] && echo 1 || echo "") \
  "$root/scripts/test-env.sh" start "$demo"
trap '"$root/scripts/test-env.sh" stop "$demo" >/dev/null' EXIT
export WINEPREFIX=$demo/wineprefix
export DISPLAY=$(cat "$demo/test-env/display")
bin=$root/build/win64/bin
portal=$demo/portal
marker=$demo/installed.log
rm -f "$marker"
export VORLA_FIXTURE_LOG=$(winpath "$marker")

# A generated installer: the installer stand-in padded past 50 MiB (so its
# GameMd5 covers only its tail), and the companion's setup beside it.
mkdir -p "$demo/installer" "$portal/keldor" "$portal/promo"
python3 - "$bin/vorla_fixture_installer.exe" "$demo/installer/XingchenSetup.exe" \
          "$bin/vorla_fixture_companion.exe" "$portal/keldor/KeldorSetup.exe" <<'PY'
import random, sys
def padded(source, target, size, seed):
    image = open(source, "rb").read()
    open(target, "wb").write(image + random.Random(seed).randbytes(size - len(image)))
padded(sys.argv[1], sys.argv[2], 60 * 1048576 + 12345, "demo-installer")
padded(sys.argv[3], sys.argv[4], 3 * 1048576 + 321, "demo-companion")
PY
printf '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>星辰远征</title></head>\n<body style="margin:0;background:#1b2a44;color:#eccaba;font-family:sans-serif"><h1 style="margin:24px">星辰远征</h1><p style="margin:24px">新版本已上线，快来体验！</p></body></html>\n' \
  >"$portal/promo/7223.html"
# Statistics endpoints: the access log is the record; these only answer 200.
echo ok >"$portal/stat"
echo ok >"$portal/keldor/down_msg.html"
# The static pages hold a hand-written 7223 and its skin: --force replaces them.
echo "demo: publishing game 7223 with vorla-publish"
base=http://127.0.0.1:17223
"$root/build/host/bin/vorla-publish" --id 7223 --installer "$demo/installer/XingchenSetup.exe" \
  --base-url $base --out "$portal" --name 星辰远征 --game-version 1.0.3 \
  --skin "$root/tests/portal/skin/7223.png" --promo-page $base/promo/7223.html \
  --companion-link $base/keldor/KeldorSetup.exe --companion-tip 同时安装Keldor游戏安全助手 \
  --new-version-link $base/downloader.html --downloader "$bin/VorlaDownloader.exe" --force \
  | sed 's/^/demo: /'
[ "${PIPESTATUS[0]}" -eq 0 ] || { echo "demo: publishing failed" >&2; exit 1; }
chmod -R a+rX "$portal"
downloader=$portal/downloader/7223/VorlaDownloader.exe

echo "demo: portal on $base/ (serving $portal)"
# A fresh start: no earlier download of the demo game in this prefix.
temp_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name Temp | head -1)
rm -f "$temp_dir/7223.tmp.cfg" "$temp_dir"/KeldorSetup.exe* "$WINEPREFIX/drive_c/download"/XingchenSetup.exe*
# The downloader runs under watch: ended only by its own process id, and
# when it dies or hangs the demo says how (its exit, or its threads' stacks).
WATCH_ROOT=$root WATCH_BUILD=$demo WATCH_BIN=$bin WATCH_DIR=$demo/programs
. "$root/scripts/wine-watch.sh"
echo "demo: starting the published downloader $downloader (game 7223)"
watch_start downloader "$downloader"

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
# The portal's side: its log as a funnel, per game and day, as text and as a
# page with charts.
echo "demo: the portal's statistics:"
if "$root/build/host/bin/vorla-stats" --portal "$demo/portal" --html "$demo/stats.html" \
     "$demo/portal-logs/combined.log" | sed 's/^/  /'; then
  echo "demo: statistics page: $demo/stats.html"
else
  echo "demo: vorla-stats failed" >&2
fi
