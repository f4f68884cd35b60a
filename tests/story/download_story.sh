#!/usr/bin/env bash
# The whole story under wine64 against the demo portal, clicking with xdotool
# on the real windows:
#   1. a download killed at about a third opens Paused when started again,
#      continues from where it was (reporting action 4) and completes with a
#      correct file; an exit chosen while the install prompt is open ends the
#      program with 0; before that, a copy killed while it downloads is
#      started again several times, and each time its page must paint and
#      answer within a few seconds;
#   2. game 7226 (7223's game, served slowly enough to watch): start, the
#      companion setup first, then the game; the page
#      hides to the notification area and the download goes on; a second copy
#      shows it again and exits 0; the install prompt's button runs the
#      installer exactly once; the statistics arrive in order; exit ends the
#      program with 0.
# Screenshots go to <build>/screenshots/.
#
# Every program runs under watch (scripts/wine-watch.sh) and is ended only by
# its own process id. When a check about a program fails, the story says why:
# how the program ended and the end of its output (Wine's exception trace),
# or, while it still runs, the stacks of its threads.
#
# usage: download_story.sh <build-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$root/scripts/wine-common.sh"
use_test_env "$build" || exit 1
bin=$build/bin
portal=$build/portal
access=$build/portal-logs/access.log
shots=$build/screenshots
work=$build/story
mkdir -p "$shots" "$work"
rm -f "$work"/*.log
export VORLA_FIXTURE_LOG=$(winpath "$work/fixture-runs.log")
: >"$work/fixture-runs.log"

WATCH_ROOT=$root WATCH_BUILD=$build WATCH_DIR=$work/programs
. "$root/scripts/wine-watch.sh"
rm -rf "$WATCH_DIR"

DRIVER_NAME=story
. "$root/tests/support/window-driver.sh"
finish() {
    local dir tag
    for dir in "$WATCH_DIR"/*/; do
        [ -d "$dir" ] || continue
        tag=$(basename "$dir")
        if watch_running "$tag"; then
            echo "story: $tag still runs at the end; ending it"
            watch_end "$tag"
        fi
        echo "story: $tag $(watch_how_ended "$(watch_status "$tag")")"
    done
    echo "story: $failures failure(s)"
    [ $failures -eq 0 ]
    exit $?
}

# The page of class $1 paints: the screen there is not black, and a spot of
# the background that no control covers shows the colour of the skin the page
# draws (the game's configured skin image, else the built-in background).
PAGE_SKIN_X=300 PAGE_SKIN_Y=410
page_skin_rgb() {  # page_skin_rgb <game>: r,g,b of the background at the spot
    local link image=$root/res/skin/105.png
    link=$(config_value "$1" SkinLink)
    case $link in
        http://127.0.0.1:17223/*) [ -f "$portal/${link#http://127.0.0.1:17223/}" ] && image=$portal/${link#http://127.0.0.1:17223/} ;;
    esac
    # The image is stretched over the page's 679 x 419 client area.
    convert "$image" -format \
        "%[fx:int(255*p{$PAGE_SKIN_X*w/679,$PAGE_SKIN_Y*h/419}.r+0.5)],%[fx:int(255*p{$PAGE_SKIN_X*w/679,$PAGE_SKIN_Y*h/419}.g+0.5)],%[fx:int(255*p{$PAGE_SKIN_X*w/679,$PAGE_SKIN_Y*h/419}.b+0.5)]" \
        info: 2>/dev/null
}
page_painted() {
    local where x y w h v pixel mean
    where=$(helper where "$1") && [ -n "$where" ] || return 1
    read -r x y w h v <<<"$where"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/page-check.png" 2>/dev/null || return 1
    mean=$(convert "$work/page-check.png" -format '%[fx:int(mean*1000)]' info: 2>/dev/null)
    pixel=$(convert "$work/page-check.png" -format \
        "%[fx:int(255*p{$PAGE_SKIN_X,$PAGE_SKIN_Y}.r+0.5)],%[fx:int(255*p{$PAGE_SKIN_X,$PAGE_SKIN_Y}.g+0.5)],%[fx:int(255*p{$PAGE_SKIN_X,$PAGE_SKIN_Y}.b+0.5)]" \
        info: 2>/dev/null)
    [ "${mean:-0}" -gt 20 ] && close_colour "$pixel" "$(page_skin_rgb "$1")"
}
close_colour() {  # close_colour r,g,b r,g,b: each channel within 8
    local a b i
    IFS=, read -r -a a <<<"$1"
    IFS=, read -r -a b <<<"$2"
    [ ${#a[@]} -eq 3 ] || return 1
    for i in 0 1 2; do
        [ $((a[i] - b[i])) -le 8 ] && [ $((b[i] - a[i])) -le 8 ] || return 1
    done
}
# Within $2 seconds the page of class $1 answers a message and is painted.
page_alive() {
    local deadline=$((SECONDS + $2))
    while :; do
        helper answers "$1" 2000 >/dev/null && page_painted "$1" && return 0
        [ $SECONDS -lt $deadline ] || break
        sleep 0.5
    done
    cp "$work/page-check.png" "$shots/page-not-alive.png" 2>/dev/null &&
        echo "story: screenshot $shots/page-not-alive.png"
    return 1
}
written() { du -B1 "$1" 2>/dev/null | cut -f1; }
is_visible() { local w; w=$(helper where "$1"); [ -n "$w" ] && [ "${w##* }" = 1 ]; }
not_visible() { ! is_visible "$1"; }
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

# ---- 1. killed partway, resumed ----------------------------------------------
# Game 7225 is a stamped copy of the program whose configuration serves the
# same installer slowly and offers no companion.
copy=$bin/VorlaDownloader7225.exe
check "the stamping tool makes the copy for game 7225" \
    wine_run "$bin/vorla-stamp.exe" "$(winpath "$bin/VorlaDownloader.exe")" 7225 "$(winpath "$copy")"
sed -e "s#/$installer_rel#/slow/$installer_rel#" -e 's#^KeldorDownloaderLink=.*#KeldorDownloaderLink=#' \
    "$portal/tool/down/7223.html" >"$portal/tool/down/7225.html"

current=7225-first
watch_start $current "$copy"
check "7225: the page opens" wait_visible 7225 90
shot page-idle
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
folder=""
for _ in $(seq 40); do folder=$(state_dir 7225) && [ -n "$folder" ] && break; sleep 0.5; done
check "7225: start records the save folder" test -n "$folder"
partial=$folder/$installer_name.P2P
# A third: the restarts below fetch more before the resumed copy completes it.
third=$((size / 3))
deadline=$((SECONDS + 90))
while [ $SECONDS -lt $deadline ]; do
    [ "$(written "$partial")" -ge "$third" ] 2>/dev/null && break
    sleep 0.2
done
shot page-downloading
watch_end $current
check "7225: the download was killed partway" test -f "$partial" -a ! -f "$folder/$installer_name"

# ---- 1b. killed while downloading, again and again ---------------------------
# Each start after such a kill must paint its page and answer within a few
# seconds; then continue is pressed and the copy is killed again as soon as
# more has arrived.
restarts=5
for round in $(seq $restarts); do
    current=7225-restart-$round
    watch_start $current "$copy"
    if ! check "7225: restart $round: the page opens" wait_visible 7225 90; then
        watch_end $current
        continue
    fi
    check "7225: restart $round: the page paints and answers within 10 s" page_alive 7225 10
    before=$(written "$partial")
    click $((WIN_X + START_X)) $((WIN_Y + START_Y))
    deadline=$((SECONDS + 30))
    while [ $SECONDS -lt $deadline ]; do
        [ "$(written "$partial")" -ge $((${before:-0} + 262144)) ] 2>/dev/null && break
        sleep 0.1
    done
    check "7225: restart $round: continue fetches more" \
        test "$(written "$partial")" -gt "${before:-0}" -a ! -f "$folder/$installer_name"
    watch_end $current
    echo "story: restart $round: $(written "$partial") of $size bytes on disk (from ${before:-0})"
done
mark=$(lines "$access")

current=7225-resumed
watch_start $current "$copy"
check "7225: the page opens again" wait_visible 7225 90
check "7225: it paints and answers within 10 s" page_alive 7225 10
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
watch_wait $current 30
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
current=$game
watch_start $current "$copy"
check "$game: the page opens" wait_visible $game 90
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
check "$game: the companion setup is fetched" wait_log "$access" "$mark" "/keldor/KeldorSetup.exe" 60
sleep 1.5
shot page-$game-downloading
click $((WIN_X + CLOSE_X)) $((WIN_Y + CLOSE_Y))
sleep 0.5
check "$game: close hides the page" not_visible $game
current=$game-second
watch_start $current "$copy"
watch_wait $current 30
check "$game: a second copy exits with 0" test $? -eq 0
current=$game
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
watch_wait $current 30
code=$?
check "$game: exit ends the program with 0" test $code -eq 0
folder=$(state_dir $game)
echo "story: the game was saved to $folder; installer runs are logged in $work/fixture-runs.log"
finish
