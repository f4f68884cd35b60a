#!/usr/bin/env bash
# The whole story under wine64 against the demo portal, clicking with xdotool
# on the real windows:
#   1. a download killed at about half opens Paused when started again,
#      continues from where it was (reporting action 4) and completes with a
#      correct file; an exit chosen while the install prompt is open ends the
#      program with 0;
#   2. game 7226 (7223's game, served slowly enough to watch): start, the
#      companion setup first, then the game; the page
#      hides to the notification area and the download goes on; a second copy
#      shows it again and exits 0; the install prompt's button runs the
#      installer exactly once; the statistics arrive in order; exit ends the
#      program with 0.
# Screenshots go to <build>/screenshots/.
#
# usage: download_story.sh <build-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$root/scripts/wine-common.sh"
export WINEPREFIX=$build/wineprefix
export DISPLAY=$(cat "$build/test-env/display")
bin=$build/bin
portal=$build/portal
access=$build/portal-logs/access.log
shots=$build/screenshots
work=$build/story
mkdir -p "$shots" "$work"
rm -f "$work"/*.log
export VORLA_FIXTURE_LOG=$(winpath "$work/fixture-runs.log")
: >"$work/fixture-runs.log"

failures=0
check() {  # check <description> <command...>
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
    pkill -9 -f 'VorlaDownloader(722[56])?\.exe' 2>/dev/null
    echo "story: $failures failure(s)"
    [ $failures -eq 0 ]
    exit $?
}

wine_run() { "$root/scripts/wine-run.sh" "$build" "$@"; }
helper() { wine_run "$bin/story-helper.exe" "$@" 2>/dev/null | tr -d '\r'; }
# Unix path of a Windows path of the prefix.
unixpath() {
    local p=${1//\\//}
    case $p in
        [Cc]:*) printf '%s/drive_c%s' "$WINEPREFIX" "${p:2}" ;;
        [Zz]:*) printf '%s' "${p:2}" ;;
        *) printf '%s' "$p" ;;
    esac
}
temp_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name Temp | head -1)
state_dir() {  # recorded save folder of a game, as a Unix path
    local file=$temp_dir/$1.tmp.cfg
    [ -f "$file" ] || return 1
    local dir
    dir=$(iconv -f UTF-16LE -t UTF-8 "$file" 2>/dev/null | tr -d '\r' | sed -n 's/^Dir=//p')
    [ -n "$dir" ] || dir=$(tr -d '\r\0' <"$file" | sed -n 's/^Dir=//p')
    [ -n "$dir" ] && unixpath "$dir"
}
# Waits up to $2 seconds for the window of class $1 to be visible; sets
# WIN_X WIN_Y WIN_W WIN_H.
wait_visible() {
    local deadline=$((SECONDS + $2)) where
    while [ $SECONDS -lt $deadline ]; do
        where=$(helper where "$1")
        if [ -n "$where" ]; then
            read -r WIN_X WIN_Y WIN_W WIN_H visible <<<"$where"
            [ "$visible" = 1 ] && return 0
        fi
        sleep 0.5
    done
    return 1
}
is_visible() { local w; w=$(helper where "$1"); [ -n "$w" ] && [ "${w##* }" = 1 ]; }
not_visible() { ! is_visible "$1"; }
click() {  # click <x> <y>, screen coordinates
    xdotool mousemove "$1" "$2"; sleep 0.2
    xdotool mousemove "$(($1 + 1))" "$2"; sleep 0.2
    xdotool click 1; sleep 0.3
}
shot() { import -window root "$shots/$1.png" 2>/dev/null && echo "story: screenshot $shots/$1.png"; }
wait_log() {  # wait_log <file> <from-line> <text> <seconds>
    local deadline=$(($SECONDS + $4))
    while [ $SECONDS -lt $deadline ]; do
        tail -n +"$(($2 + 1))" "$1" 2>/dev/null | grep -qF -- "$3" && return 0
        sleep 0.3
    done
    return 1
}
lines() { wc -l <"$1" 2>/dev/null || echo 0; }
config_value() { tr -d '\r' <"$portal/tool/down/$1.html" | sed -n "s/^$2=//p"; }
# Page coordinates of the controls.
START_X=587 START_Y=339      # the action button's four faces
CLOSE_X=652 CLOSE_Y=36       # the close button
INSTALL_X=261 INSTALL_Y=173  # the install prompt's action button

installer_rel=games/7223/XingchenSetup.exe
installer_name=XingchenSetup.exe
size=$(stat -c %s "$portal/$installer_rel")
md5=$(config_value 7223 GameMd5)
for dir in "$WINEPREFIX/drive_c/download" /download; do rm -f "$dir/$installer_name" "$dir/$installer_name".P2P*; done
rm -f "$temp_dir"/722[356].tmp.cfg "$temp_dir/KeldorSetup.exe"*

# ---- 1. killed at half, resumed ----------------------------------------------
# Game 7225 is a stamped copy of the program whose configuration serves the
# same installer slowly and offers no companion.
copy=$bin/VorlaDownloader7225.exe
check "the stamping tool makes the copy for game 7225" \
    wine_run "$bin/vorla-stamp.exe" "$(winpath "$bin/VorlaDownloader.exe")" 7225 "$(winpath "$copy")"
sed -e "s#/$installer_rel#/slow/$installer_rel#" -e 's#^KeldorDownloaderLink=.*#KeldorDownloaderLink=#' \
    "$portal/tool/down/7223.html" >"$portal/tool/down/7225.html"

wine_run "$copy" &
program=$!
check "7225: the page opens" wait_visible 7225 90
shot page-idle
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
folder=""
for _ in $(seq 40); do folder=$(state_dir 7225) && [ -n "$folder" ] && break; sleep 0.5; done
check "7225: start records the save folder" test -n "$folder"
partial=$folder/$installer_name.P2P
half=$((size / 2))
deadline=$((SECONDS + 90))
while [ $SECONDS -lt $deadline ]; do
    written=$(du -B1 "$partial" 2>/dev/null | cut -f1)
    [ "${written:-0}" -ge "$half" ] && break
    sleep 0.2
done
shot page-downloading
pkill -9 -f 'VorlaDownloader7225\.exe'
wait $program 2>/dev/null
check "7225: the download was killed partway" test -f "$partial" -a ! -f "$folder/$installer_name"
sleep 1
mark=$(lines "$access")

wine_run "$copy" &
program=$!
check "7225: the page opens again" wait_visible 7225 90
sleep 3
shot page-paused
check "7225: it opens paused, fetching nothing" \
    bash -c "! tail -n +$((mark + 1)) '$access' | grep -q '/slow/$installer_rel'"
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
check "7225: continue reports action 4" wait_log "$access" "$mark" "/stat?action=4&game=7225&" 20
check "7225: completion asks to install" wait_visible DownLoadFinished 120
shot page-finished
check "7225: the file is complete" test "$(stat -c %s "$folder/$installer_name" 2>/dev/null)" = "$size"
check "7225: the file is the portal's" cmp -s "$portal/$installer_rel" "$folder/$installer_name"
check "7225: its digest is the configured one" \
    test "$(tail -c 52428800 "$folder/$installer_name" | md5sum | cut -d' ' -f1)" = "$md5"
sent=$(tail -n +1 "$access" | awk -v u="/slow/$installer_rel" '$2 == u { s += $4 } END { print s + 0 }')
echo "story: the resumed download sent $sent bytes for a file of $size ($((sent - size)) sent twice)"
helper post 7225 2026 >/dev/null
wait $program
code=$?
check "7225: exit while the install prompt is open ends the program with 0" test $code -eq 0
check "7225: nothing was installed" test "$(grep -c '^installer' "$work/fixture-runs.log")" = 0
rm -f "$folder/$installer_name" "$folder/$installer_name".P2P*

# ---- 2. the story of game 7226 -----------------------------------------------
# 7223's game and companion, with the game served slowly enough that the page
# can be hidden while it downloads.
game=7226
copy=$bin/VorlaDownloader$game.exe
wine_run "$bin/vorla-stamp.exe" "$(winpath "$bin/VorlaDownloader.exe")" $game "$(winpath "$copy")"
sed -e "s#/$installer_rel#/slow/$installer_rel#" "$portal/tool/down/7223.html" >"$portal/tool/down/$game.html"
mark=$(lines "$access")
wine_run "$copy" &
program=$!
check "$game: the page opens" wait_visible $game 90
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
check "$game: the companion setup is fetched" wait_log "$access" "$mark" "/keldor/KeldorSetup.exe" 60
sleep 1.5
shot page-$game-downloading
click $((WIN_X + CLOSE_X)) $((WIN_Y + CLOSE_Y))
sleep 0.5
check "$game: close hides the page" not_visible $game
wine_run "$copy"
check "$game: a second copy exits with 0" test $? -eq 0
check "$game: and shows the page again" wait_visible $game 10
check "$game: completion asks to install" wait_visible DownLoadFinished 120
check "$game: the game was fetched after the companion" \
    bash -c "tail -n +$((mark + 1)) '$access' | grep -n -e '/keldor/KeldorSetup.exe' -e '/$installer_rel' | head -1 | grep -q keldor"
shot page-$game-finished
click $((WIN_X + INSTALL_X)) $((WIN_Y + INSTALL_Y))
check "$game: the installer runs" wait_log "$work/fixture-runs.log" 0 "installer" 20
sleep 2
check "$game: exactly once" test "$(grep -c '^installer' "$work/fixture-runs.log")" = 1
check "$game: the companion setup ran silently" grep -q "^companion	/S" "$work/fixture-runs.log"

stats=$(tail -n +$((mark + 1)) "$access" | awk '{ print $2 }' | grep -e '^/stat?' -e 'setupbox' |
        grep -e 'action=1&' -e 'action=2&tg=' -e 'setupbox' -e 'action=5&cg=1&cwdm=3')
echo "$stats" | sed 's/^/story: report /'
order=$(echo "$stats" | sed -e 's/.*action=1&.*/1/' -e 's/.*action=2&tg=1&.*/2/' -e 's/.*setupbox.*/s/' \
        -e 's/.*action=5&cg=1&cwdm=3.*/5/' | tr -d '\n')
check "$game: reports in order: loaded, started with the companion, setup, finished" test "$order" = 12s5
check "$game: event reports carry game, mid and ver" \
    bash -c "echo '$stats' | grep -v setupbox | grep -v -E 'game=$game&mid=[^&]+&ver=1\.1\.0\.1005' | wc -l | grep -qx 0"

helper post $game 2026 >/dev/null
wait $program
code=$?
check "$game: exit ends the program with 0" test $code -eq 0
folder=$(state_dir $game)
echo "story: the game was saved to $folder; installer runs are logged in $work/fixture-runs.log"
finish
