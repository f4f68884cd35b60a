# Shared by the scripts that drive the real program's windows under wine64
# (the story, the publishing test): checks that count failures and explain a
# failed program, the window helper, clicks, screenshots, log waits and the
# prefix's paths. Source it after scripts/wine-common.sh and
# scripts/wine-watch.sh, with these set:
#   DRIVER_NAME  prefix of the script's own messages ("story")
#   root build bin shots   the source tree, the build, its bin/ and screenshots
#   WINEPREFIX   the build's prefix
# It keeps `failures` (the count of failed checks) and reads `current` (the
# watched program the checks are about, may be empty).

failures=0
current=""
explained=""
check() {  # check <description> <command...>
    local what=$1; shift
    if "$@"; then
        echo "ok: $what"
        return 0
    fi
    echo "FAILED: $what"
    failures=$((failures + 1))
    # Why, once per program and state (running, or how it ended).
    if [ -n "$current" ]; then
        local state="$current:$(watch_status "$current")"
        case " $explained " in *" $state "*) ;; *) explained="$explained $state"; watch_explain "$current" ;; esac
    fi
    return 1
}

wine_run() { "$root/scripts/wine-run.sh" "$build" "$@"; }
helper() { wine_run "$bin/story-helper.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Waits up to $2 seconds for the window of class $1 to be visible; sets
# WIN_X WIN_Y WIN_W WIN_H. Gives up at once when the program it waits for has
# ended.
wait_visible() {
    local deadline=$((SECONDS + $2)) where visible
    while [ $SECONDS -lt $deadline ]; do
        where=$(helper where "$1")
        if [ -n "$where" ]; then
            read -r WIN_X WIN_Y WIN_W WIN_H visible <<<"$where"
            [ "$visible" = 1 ] && return 0
        fi
        if [ -n "$current" ] && ! watch_running "$current"; then
            echo "$DRIVER_NAME: $current has ended"
            return 1
        fi
        sleep 0.5
    done
    return 1
}
click() {  # click <x> <y>, screen coordinates
    xdotool mousemove "$1" "$2"; sleep 0.2
    xdotool mousemove "$(($1 + 1))" "$2"; sleep 0.2
    xdotool click 1; sleep 0.3
}
shot() { import -window root "$shots/$1.png" 2>/dev/null && echo "$DRIVER_NAME: screenshot $shots/$1.png"; }
wait_log() {  # wait_log <file> <from-line> <text> <seconds>
    local deadline=$((SECONDS + $4))
    while [ $SECONDS -lt $deadline ]; do
        tail -n +"$(($2 + 1))" "$1" 2>/dev/null | grep -qF -- "$3" && return 0
        sleep 0.3
    done
    return 1
}
lines() { wc -l <"$1" 2>/dev/null || echo 0; }

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
state_dir() {  # the save folder game $1 recorded, as a Unix path
    local file=$temp_dir/$1.tmp.cfg dir
    [ -f "$file" ] || return 1
    dir=$(iconv -f UTF-16LE -t UTF-8 "$file" 2>/dev/null | tr -d '\r' | sed -n 's/^Dir=//p')
    [ -n "$dir" ] || dir=$(tr -d '\r\0' <"$file" | sed -n 's/^Dir=//p')
    [ -n "$dir" ] && unixpath "$dir"
}
