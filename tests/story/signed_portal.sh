#!/usr/bin/env bash
# A portal that signs, under wine64, on loopback only. The portal serves over
# HTTPS as "localhost" (its own nginx, started here with a certificate of the
# test authority), and its downloader (game 7271) is built with the portal's
# configuration key. vorla-publish signs the configuration, writes its
# GameSha256 and GameSigner after checking the installer's Authenticode
# signature, and signs the stamped downloader. The authority's root is
# trusted in the prefix's machine store while this runs. The real program:
#   1. refuses a configuration changed after signing (the start-up failure
#      prompt), and takes the signed one on retry; downloads the game,
#      asks to install and runs the installer;
#   2. refuses an installer changed on the portal (one byte, same size, no
#      seeds to catch it sooner): no install prompt, the check failure is
#      reported;
#   3. refuses to launch an installer from another publisher than the one
#      its configuration names: a prompt, and nothing runs.
#
# usage: signed_portal.sh <build-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$root/scripts/wine-common.sh"
use_test_env "$build" || exit 1
bin=$build/bin
portal=$build/portal
work=$build/signed-portal
shots=$build/screenshots
signed=$bin/signed-programs
key=$build/test-keys/config-key.pem
host_tool=${VORLA_HOST_PUBLISH:-$root/build/host/bin/vorla-publish}
game=7271
port=17243
base=https://localhost:$port
access=$work/logs/access.log
rm -rf "$work"
mkdir -p "$work/in" "$work/nginx" "$work/logs" "$shots"
export VORLA_FIXTURE_LOG=$(winpath "$work/fixture-runs.log")
: >"$work/fixture-runs.log"

WATCH_ROOT=$root WATCH_BUILD=$build WATCH_DIR=$work/programs
. "$root/scripts/wine-watch.sh"
DRIVER_NAME=signed_portal
. "$root/tests/support/window-driver.sh"
START_X=587 START_Y=339      # the page's action button
INSTALL_X=261 INSTALL_Y=173  # the install prompt's action button
first_title="Vorla游戏下载器-专版"
page_title="Vorla游戏下载器-星辰远征专版"
absent() { ! helper where "$1" >/dev/null; }
start_download() {  # start_download <scenario> <tag>: the copy runs, its page opens, start is pressed
    current=$2
    watch_start $current "$copy"
    check "$1: the page opens" wait_visible $game 60 || exit 1
    click $((WIN_X + START_X)) $((WIN_Y + START_Y))
}
exit_program() {  # exit_program <scenario>: the page's exit command ends the copy with 0
    helper post $game 2026 >/dev/null
    watch_wait $current 30
    check "$1: exit ends the program with 0" test $? -eq 0
    current=""
}
prompt_class() {  # the visible start-up window or failure prompt, titled before any configuration
    helper titled "$first_title" | awk '$2 == 1 { print $1; exit }'
}

if [ ! -x "$host_tool" ]; then
    echo "signed_portal: no Linux build of vorla-publish at $host_tool (scripts/build-host.sh)"
    exit 1
fi
nginx_pid=""
trusted=""
finish() {
    if [ -n "$current" ] && watch_running "$current"; then
        echo "signed_portal: $current still runs at the end; ending it"
        watch_end "$current"
    fi
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    [ -n "$trusted" ] && helper distrust "$(winpath "$signed/ca.der")"
    echo "signed_portal: $failures failure(s)"
    [ $failures -eq 0 ]
    exit $?
}
trap finish EXIT
port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
if port_open $port; then echo "signed_portal: port $port is taken: another run?"; exit 1; fi

# ---- the portal over HTTPS ---------------------------------------------------
openssl req -new -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$work/nginx/server.key" \
    -out "$work/nginx/server.csr" >/dev/null 2>&1
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost\n' \
    >"$work/nginx/server.ext"
check "the test authority issues the portal's certificate for localhost" \
    openssl x509 -req -in "$work/nginx/server.csr" -CA "$signed/ca.pem" -CAkey "$signed/ca.key" -CAcreateserial \
    -days 2 -sha256 -extfile "$work/nginx/server.ext" -out "$work/nginx/server.pem" || exit 1
"$root/scripts/portal-nginx.sh" conf "$work/nginx" "$portal" "$work/logs" $port \
    "$work/nginx/server.pem" "$work/nginx/server.key" >"$work/nginx/nginx.conf"
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" </dev/null >"$work/nginx/out.log" 2>&1 &
nginx_pid=$!
check "the portal listens over HTTPS" \
    bash -c "for i in \$(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && exit 0; sleep 0.1; done; exit 1" || exit 1
check "the prefix trusts the test authority" helper trust "$(winpath "$signed/ca.der")" || exit 1
trusted=1

# ---- the signed publication ----------------------------------------------------
fresh() {  # nothing left of an earlier run of the game in the prefix
    rm -f "$temp_dir/$game.tmp.cfg" "$temp_dir/$game.cfg"
    for dir in "$WINEPREFIX/drive_c/download" /download; do rm -f "$dir/SignedSetup.exe"*; done
}
rm -rf "$portal/games/$game" "$portal/downloader/$game" "$portal/tool/down/$game.html"* \
       "$portal/nginx/$game.conf" "$portal/.vorla-publish/$game.files"
fresh
cp "$signed/good.exe" "$work/in/SignedSetup.exe"
cp "$bin/VorlaDownloader7271.exe" "$work/in/VorlaDownloader.exe"
publish() {  # publish <installer> <signer> [more options]
    "$host_tool" --id $game --installer "$1" --out "$portal" --name "星辰远征" --base-url "$base" \
        --game-version 1.0.3 --sign-key "$key" --signer "$2" --signer-ca "$signed/ca.pem" "${@:3}" --quiet
}
# The downloader takes only a configuration signed with its key: a
# publication that would give it another is refused, writing nothing.
openssl ecparam -name prime256v1 -genkey -noout -out "$work/other-key.pem" 2>/dev/null
refused_publication() {  # refused_publication <options...>: exit code 2, nothing written
    "$host_tool" --id $game --installer "$work/in/SignedSetup.exe" --out "$portal" --name "星辰远征" \
        --base-url "$base" --downloader "$work/in/VorlaDownloader.exe" --stamp-tool "$bin/vorla-stamp.exe" \
        --quiet "$@" 2>>"$work/refusals.log"
    [ $? -eq 2 ] && [ ! -e "$portal/tool/down/$game.html" ]
}
check "a downloader built with a key is not published unsigned" refused_publication
check "nor signed with another key" refused_publication --sign-key "$work/other-key.pem"
check "the portal publishes the game signed, its downloader codesigned" \
    publish "$work/in/SignedSetup.exe" "Xingchen Games Ltd" --downloader "$work/in/VorlaDownloader.exe" --stamp-tool "$bin/vorla-stamp.exe" \
    --codesign-cert "$signed/codesign.pem" --codesign-key "$signed/codesign.key" || exit 1
config=$portal/tool/down/$game.html
check "the configuration has its signature beside it" test -s "$config.sig"
check "it names the whole installer's SHA-256" \
    grep -aq "^GameSha256=$(sha256sum "$work/in/SignedSetup.exe" | cut -d' ' -f1)" "$config"
check "it names the installer's publisher" grep -aq "^GameSigner=Xingchen Games Ltd" "$config"
copy=$portal/downloader/$game/VorlaDownloader.exe
check "the stamped downloader carries a valid Authenticode signature" \
    bash -c "osslsigncode verify -CAfile '$signed/ca.pem' -in '$copy' >'$work/codesign-verify.log' 2>&1" || exit 1
cp "$config" "$work/config.signed"

# ---- 1. a changed configuration, then the signed one ---------------------------
# One byte of the published configuration changes; its signature stays.
sed -i 's/^GameVersion=1.0.3/GameVersion=1.0.4/' "$config"
check "the configuration was changed" bash -c "! cmp -s '$config' '$work/config.signed'"
mark=$(lines "$access")
current=signed
watch_start $current "$copy"
check "1: the signature was fetched" wait_log "$access" "$mark" "GET /tool/down/$game.html.sig 200" 60 || exit 1
check "1: and the configuration" wait_log "$access" "$mark" "GET /tool/down/$game.html 200" 60
# Both are checked as soon as they are here; the window left is the
# failure prompt (retry below shows it is).
sleep 3
check "1: a changed configuration is refused: a prompt, no page, no load report" \
    bash -c "[ -n '$(prompt_class)' ] && ! tail -n +$((mark + 1)) '$access' | grep -q 'GET /stat?action=1&'"
check "1: no page" absent $game
shot signed-config-refused
cp "$work/config.signed" "$config"
class=$(prompt_class)
mark=$(lines "$access")
check "1: retry" helper post "$class" 102
check "1: the signed configuration opens the page" wait_visible $game 60 || exit 1
check "1: retry fetched it again" wait_log "$access" "$mark" "GET /tool/down/$game.html 200" 5
check "1: its title names the game" test "$(helper titled "$page_title" | awk '$1 == "'$game'" { print $2 }')" = 1
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
check "1: completion asks to install" wait_visible DownLoadFinished 120
folder=$(state_dir $game)
check "1: the file is the installer" cmp -s "$work/in/SignedSetup.exe" "$folder/SignedSetup.exe"
check "1: the game came over HTTPS" grep -Eq "^GET /games/$game/[0-9a-f]{16}/SignedSetup.exe 20[06]" "$access"
click $((WIN_X + INSTALL_X)) $((WIN_Y + INSTALL_Y))
check "1: the installer from the named publisher runs" wait_log "$work/fixture-runs.log" 0 "installer" 30
exit_program 1

# ---- 2. an installer changed on the portal -------------------------------------
fresh
generation=$(dirname "$(ls "$portal/games/$game"/*/SignedSetup.exe | head -n 1)")
cp "$signed/changed.exe" "$generation/SignedSetup.exe"
rm -f "$generation"/*.meta4 "$generation"/*.torrent
runs=$(grep -c '^installer' "$work/fixture-runs.log")
mark=$(lines "$access")
start_download 2 changed
check "2: the whole-file check fails and is reported" wait_log "$access" "$mark" "GET /stat?action=100&cg=0&cwdm=0&game=$game&" 120
shot signed-installer-refused
check "2: no install prompt" absent DownLoadFinished
check "2: nothing ran" test "$(grep -c '^installer' "$work/fixture-runs.log")" = "$runs"
exit_program 2

# ---- 3. an installer from another publisher -------------------------------------
# Published as what it is, then its configuration names the expected
# publisher (and is signed again): the installer's own signature decides.
fresh
cp "$signed/other.exe" "$work/in/SignedSetup.exe"
check "3: the other publisher's installer is published" \
    publish "$work/in/SignedSetup.exe" "Other Studio" --min-version 1.1.0.1005
check "3: the stamped downloader stays" test -f "$copy"
sed -i 's/^GameSigner=Other Studio/GameSigner=Xingchen Games Ltd/' "$config"
openssl dgst -sha256 -sign "$key" -out "$config.sig" "$config"
check "3: the configuration names the expected publisher" grep -aq "^GameSigner=Xingchen Games Ltd" "$config"
start_download 3 other
check "3: completion asks to install" wait_visible DownLoadFinished 120
click $((WIN_X + INSTALL_X)) $((WIN_Y + INSTALL_Y))
prompted() {  # a prompt over the page, not the install prompt
    for _ in $(seq 30); do
        [ "$(helper owned $game)" = 1 ] && absent DownLoadFinished && return 0
        sleep 0.5
    done
    return 1
}
check "3: a prompt says the installer is not from the expected publisher" prompted
shot signed-publisher-refused
sleep 3
check "3: nothing ran" test "$(grep -c '^installer' "$work/fixture-runs.log")" = "$runs"
exit_program 3
fresh
