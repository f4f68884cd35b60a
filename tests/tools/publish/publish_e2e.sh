#!/usr/bin/env bash
# vorla-publish end to end under Wine (the build's width), against the test portal
# (nginx on 127.0.0.1:17223 serving <build>/portal):
#   1. a generated installer (the installer fixture padded past 50 MiB) is
#      published as game 7251 with a GBK configuration by the Linux build of
#      the tool (which stamps the downloader by running vorla-stamp.exe under
#      Wine), and as game 7252 with a UTF-16 configuration by the Windows
#      build under Wine (which stamps it itself);
#   2. each stamped downloader opens its page titled with the Chinese game
#      name, downloads the game (the Metalink seed's mirror takes part),
#      checks it, asks to install, and runs the installer;
#   3. aria2c, an independent client, downloads a third publication by its
#      torrent (web seeds) and by its Metalink seed, checking every piece.
# Every program runs under watch (scripts/wine-watch.sh) and is ended only by
# its own process id.
#
# usage: publish_e2e.sh <build-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$(cd "$1" && pwd)
. "$root/scripts/wine-common.sh"
use_test_env "$build" || exit 1
export VORLA_WINE=$WINE64
bin=$build/bin
portal=$build/portal
access=$build/portal-logs/access.log
work=$build/publish-e2e
shots=$build/screenshots
host_tool=${VORLA_HOST_PUBLISH:-$root/build/host/bin/vorla-publish}
rm -rf "$work"
mkdir -p "$work/in" "$shots"
export VORLA_FIXTURE_LOG=$(winpath "$work/fixture-runs.log")
: >"$work/fixture-runs.log"

WATCH_ROOT=$root WATCH_BUILD=$build WATCH_DIR=$work/programs
. "$root/scripts/wine-watch.sh"

DRIVER_NAME=publish_e2e
. "$root/tests/support/window-driver.sh"
title_of() { wine_run "$bin/publish-probe.exe" title "$1" 2>/dev/null | tr -d '\r'; }
START_X=587 START_Y=339      # the page's action button
INSTALL_X=261 INSTALL_Y=173  # the install prompt's action button

# ---- 1. publish --------------------------------------------------------------
installer=$work/in/PublishedSetup.exe
small=$work/in/SmallSetup.exe
python3 - "$bin/vorla_fixture_installer.exe" "$installer" "$small" <<'PY'
import random, sys
image = open(sys.argv[1], "rb").read()
# Past 50 MiB, so the configured digest covers only the file's tail.
open(sys.argv[2], "wb").write(image + random.Random(7251).randbytes(60 * 1048576 + 4321 - len(image)))
open(sys.argv[3], "wb").write(image + random.Random(7253).randbytes(3 * 1048576 + 17 - len(image)))
PY
for game in 7251 7252 7253; do
    rm -rf "$portal/games/$game" "$portal/downloader/$game" "$portal/tool/down/$game.html" \
           "$portal/nginx/$game.conf" "$portal/.vorla-publish/$game.files"
    rm -f "$temp_dir/$game.tmp.cfg"
done
for dir in "$WINEPREFIX/drive_c/download" /download; do rm -f "$dir/PublishedSetup.exe"*; done
# A mirror holds the installer where its operator put it, outside the
# portal's generation folders.
mirror_rel=mirror/7251/PublishedSetup.exe
mkdir -p "$portal/mirror/7251"
cp "$installer" "$portal/$mirror_rel"

name_gbk="星辰远征"
name_utf16="星辰远征 한국어판"
common=(--base-url http://127.0.0.1:17223 --game-version 1.0.3 --safecheck 1)
if [ -x "$host_tool" ]; then
    check "7251: the Linux build publishes with a GBK configuration, stamping under Wine" \
        "$host_tool" --id 7251 --installer "$installer" --out "$portal" --name "$name_gbk" "${common[@]}" \
        --encoding gbk --mirror http://127.0.0.1:17223/slow/$mirror_rel \
        --downloader "$bin/VorlaDownloader.exe" --quiet
else
    echo "publish_e2e: no Linux build at $host_tool (scripts/build-host.sh); the Windows build publishes 7251"
    check "7251: the Windows build publishes with a GBK configuration" \
        wine_run "$bin/vorla-publish.exe" --id 7251 --installer "$(winpath "$installer")" --out "$(winpath "$portal")" \
        --name "$name_gbk" "${common[@]}" --encoding gbk \
        --mirror http://127.0.0.1:17223/slow/$mirror_rel \
        --downloader "$(winpath "$bin/VorlaDownloader.exe")" --quiet
fi
check "7252: the Windows build publishes with a UTF-16 configuration, stamping itself" \
    wine_run "$bin/vorla-publish.exe" --id 7252 --installer "$(winpath "$installer")" --out "$(winpath "$portal")" \
    --name "$name_utf16" "${common[@]}" --encoding utf-16 \
    --downloader "$(winpath "$bin/VorlaDownloader.exe")" --quiet
check "7253: a small game published for the independent client" \
    wine_run "$bin/vorla-publish.exe" --id 7253 --installer "$(winpath "$small")" --out "$(winpath "$portal")" \
    --name "$name_gbk" "${common[@]}" --min-version 1.1.0.1005 --quiet
check "7251: the configuration is GBK" \
    bash -c "iconv -f GBK -t UTF-8 '$portal/tool/down/7251.html' | grep -q '^GameName=$name_gbk'"
check "7252: the configuration is UTF-16LE with a mark" \
    bash -c "head -c 2 '$portal/tool/down/7252.html' | od -An -tx1 | grep -q 'ff fe'"

# ---- 2. the stamped downloaders get their game -------------------------------
size=$(stat -c %s "$installer")
tail_md5=$(tail -c 52428800 "$installer" | md5sum | cut -d' ' -f1)
installs=0
for game in 7251 7252; do
    if [ $game = 7251 ]; then name=$name_gbk; else name=$name_utf16; fi
    copy=$portal/downloader/$game/VorlaDownloader.exe
    if ! check "$game: the stamped downloader is published" test -f "$copy"; then continue; fi
    mark=$(lines "$access")
    current=$game
    watch_start $current "$copy"
    if ! check "$game: the page opens" wait_visible $game 90; then
        watch_end $current
        continue
    fi
    shown=$(title_of $game)
    check "$game: the page title shows the Chinese game name ($shown)" test "$shown" = "Vorla游戏下载器-${name}专版"
    shot publish-$game-page
    click $((WIN_X + START_X)) $((WIN_Y + START_Y))
    check "$game: completion asks to install" wait_visible DownLoadFinished 180
    shot publish-$game-finished
    folder=$(state_dir $game)
    check "$game: the file is complete" test "$(stat -c %s "$folder/PublishedSetup.exe" 2>/dev/null)" = "$size"
    check "$game: the file is the installer" cmp -s "$installer" "$folder/PublishedSetup.exe"
    check "$game: its tail digest is the configured GameMd5" \
        grep -aq "$tail_md5" <(iconv -f "$([ $game = 7251 ] && echo GBK || echo UTF-16)" -t UTF-8 "$portal/tool/down/$game.html")
    check "$game: the engine fetched the Metalink seed" \
        bash -c "tail -n +$((mark + 1)) '$access' | grep -Eq '^GET /games/$game/[0-9a-f]{16}/PublishedSetup.exe.meta4 200'"
    if [ $game = 7251 ]; then
        check "7251: the seed's mirror served part of the game" \
            bash -c "tail -n +$((mark + 1)) '$access' | grep -q '^GET /slow/$mirror_rel 206'"
    fi
    click $((WIN_X + INSTALL_X)) $((WIN_Y + INSTALL_Y))
    installs=$((installs + 1))
    check "$game: the installer runs" \
        bash -c "for i in \$(seq 60); do [ \$(grep -c '^installer' '$work/fixture-runs.log') -ge $installs ] && exit 0; sleep 0.5; done; exit 1"
    helper post $game 2026 >/dev/null
    watch_wait $current 30
    check "$game: exit ends the program with 0" test $? -eq 0
    rm -f "$folder/PublishedSetup.exe" "$folder/PublishedSetup.exe".P2P*
done
current=""

# ---- 3. an independent client ------------------------------------------------
aria() {
    aria2c --quiet=true --dir="$1" --seed-time=0 --enable-dht=false --enable-dht6=false \
        --bt-enable-lpd=false --enable-peer-exchange=false --check-integrity=true \
        --allow-overwrite=true --auto-file-renaming=false --summary-interval=0 "${@:2}"
}
seed_of() { ls "$portal/games/$1"/*/"$2" 2>/dev/null | head -n 1; }
check "7253: aria2c downloads the torrent from its web seed, every SHA-1 piece checked" \
    aria "$work/aria-torrent" --follow-torrent=mem "$(seed_of 7253 SmallSetup.exe.torrent)"
check "7253: the torrent's file is the installer" cmp -s "$small" "$work/aria-torrent/SmallSetup.exe"
check "7253: aria2c downloads by the Metalink seed, every SHA-256 piece checked" \
    aria "$work/aria-meta4" --follow-metalink=mem -M "$(seed_of 7253 SmallSetup.exe.meta4)"
check "7253: the seed's file is the installer" cmp -s "$small" "$work/aria-meta4/SmallSetup.exe"

for dir in "$WATCH_DIR"/*/; do
    [ -d "$dir" ] || continue
    tag=$(basename "$dir")
    if watch_running "$tag"; then
        echo "publish_e2e: $tag still runs at the end; ending it"
        watch_end "$tag"
    fi
done
echo "publish_e2e: $failures failure(s)"
[ $failures -eq 0 ]
