# Windows programs under watch, for the scripts that drive the real program
# (the story, the demo). Sourced, after wine-common.sh.
#
# Each program runs in the background under wine64 with a folder of its own
# (WATCH_DIR/<tag>) holding its Unix process id, its output (Wine's exception
# trace among it) and, once it has ended, its exit status. A program is ended
# only by that process id, never by a name. When one hangs or dies,
# watch_explain says why: how it ended and the end of its output, or, while
# it still runs, the stacks of its threads as winedbg sees them.
#
# Needs: WINEPREFIX, DISPLAY, WATCH_ROOT (the source tree), WATCH_BUILD (the
# folder wine-run.sh is given: the prefix and the display are there) and
# WATCH_DIR; WATCH_BIN, where the binaries are, defaults to WATCH_BUILD/bin.

# Exceptions (first and second chance) and Wine's own errors; kept in the
# program's output and shown only when something went wrong.
WATCH_WINEDEBUG=${WATCH_WINEDEBUG:--all,err+all,+seh}

# watch_start <tag> <program.exe> [args...]: starts it in the background.
watch_start() {
    local tag=$1; shift
    local dir=$WATCH_DIR/$tag
    rm -rf "$dir"
    mkdir -p "$dir"
    basename "$1" >"$dir/image"
    (
        WINEDEBUG=$WATCH_WINEDEBUG "$WATCH_ROOT/scripts/wine-run.sh" "$WATCH_BUILD" "$@" \
            >"$dir/output.log" 2>&1 </dev/null &
        echo $! >"$dir/pid"
        wait $!
        echo $? >"$dir/status.new"
        mv "$dir/status.new" "$dir/status"
    ) </dev/null >/dev/null 2>&1 &  # holds no pipe of the caller's
    while [ ! -s "$dir/pid" ]; do sleep 0.05; done
}

watch_pid() { cat "$WATCH_DIR/$1/pid" 2>/dev/null; }
watch_running() { [ -s "$WATCH_DIR/$1/pid" ] && [ ! -f "$WATCH_DIR/$1/status" ]; }
watch_status() { cat "$WATCH_DIR/$1/status" 2>/dev/null; }

# watch_wait <tag> <seconds>: waits for the program to end and returns its
# exit status. One still running then hangs: it is explained, ended, and 124
# returned.
watch_wait() {
    local dir=$WATCH_DIR/$1 deadline=$((SECONDS + $2))
    while [ ! -f "$dir/status" ]; do
        if [ $SECONDS -ge $deadline ]; then
            echo "watch: $1 has not ended after $2 s"
            watch_explain "$1"
            watch_end "$1"
            return 124
        fi
        sleep 0.2
    done
    return "$(cat "$dir/status")"
}

# watch_end <tag>: ends the program, if it still runs, by its process id
# (SIGKILL, as a crash or a power cut would) and waits for its status.
watch_end() {
    local dir=$WATCH_DIR/$1
    if watch_running "$1"; then kill -9 "$(cat "$dir/pid")" 2>/dev/null; fi
    for _ in $(seq 100); do
        [ -f "$dir/status" ] && return 0
        sleep 0.1
    done
    echo "watch: $1 (pid $(watch_pid "$1")) did not end" >&2
    return 1
}

# watch_how_ended <status>: the status in words.
watch_how_ended() {
    if [ "$1" -gt 128 ] 2>/dev/null; then
        echo "was killed by signal $(($1 - 128)) (SIG$(kill -l $(($1 - 128)) 2>/dev/null))"
    else
        echo "ended with exit code $1"
    fi
}

# watch_output <tag> <lines>: the end of the program's output, without the
# register dumps and handler walks of the exception trace (each exception
# keeps its "dispatch_exception code=... addr=..." line).
watch_output() {
    grep -v -E 'trace:seh:(call_stack_handlers|call_teb_handler|RtlRestoreContext|dispatch_exception  )' \
        "$WATCH_DIR/$1/output.log" 2>/dev/null | tail -n "$2" | sed 's/^/  | /'
}

# watch_explain <tag>: why a program is not where it should be.
watch_explain() {
    local dir=$WATCH_DIR/$1
    if [ -f "$dir/status" ]; then
        echo "watch: $1 (pid $(watch_pid "$1")) $(watch_how_ended "$(watch_status "$1")")"
        echo "watch: the end of its output ($dir/output.log):"
        watch_output "$1" 40
    elif [ -s "$dir/pid" ]; then
        echo "watch: $1 (pid $(watch_pid "$1")) still runs; the stacks of its threads:"
        watch_stacks "$1" | tee "$dir/stacks.txt" | sed 's/^/  | /'
        echo "watch: the end of its output ($dir/output.log):"
        watch_output "$1" 20
    else
        echo "watch: $1 was never started"
    fi
}

# watch_stacks <tag>: the stacks of every thread of every running process of
# the program's image, from winedbg; frames in our own binaries are named.
watch_stacks() {
    local image
    image=$(cat "$WATCH_DIR/$1/image")
    "$WINE64" winedbg --command "bt all" 2>&1 </dev/null | tr -d '\r' |
        WATCH_HEADER_END="\\$image):" awk '
            /^Backtracing for thread / {
                end = tolower(ENVIRON["WATCH_HEADER_END"])
                keep = tolower(substr($0, length($0) - length(end) + 1)) == end
            }
            /^Backtracing for thread / || /^[ =>]*[0-9]+ 0x/ { if (keep) print }' |
        watch_name_frames "$1"
}

# Names the functions of frames in the program's own image or the engine
# library, from their symbol tables (address and offset within it).
watch_name_frames() {
    local image exe own dll
    image=$(cat "$WATCH_DIR/$1/image")
    exe=${WATCH_BIN:-$WATCH_BUILD/bin}/$image
    own=${image%.*}
    dll=${WATCH_BIN:-$WATCH_BUILD/bin}/QelvoP2SP.dll
    awk -v own="${own,,}" \
        -v exesyms="$(watch_symbols "$exe")" -v exebase="$(watch_image_base "$exe")" \
        -v dllsyms="$(watch_symbols "$dll")" -v dllbase="$(watch_image_base "$dll")" '
        function hex(s,   v, i) {
            v = 0; s = tolower(s); sub(/^0x/, "", s)
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return v
        }
        function load(file, k,   line, n, sp) {
            n = 0
            while (file != "" && (getline line < file) > 0) {
                sp = index(line, " ")
                n++; at[k, n] = hex(substr(line, 1, sp - 1)); name[k, n] = substr(line, sp + 1)
            }
            count[k] = n
        }
        function lookup(k, a,   lo, hi, mid) {
            lo = 1; hi = count[k]
            if (hi == 0 || a < at[k, 1]) return ""
            while (lo < hi) { mid = int((lo + hi + 1) / 2); if (at[k, mid] <= a) lo = mid; else hi = mid - 1 }
            return sprintf("%s+0x%x", name[k, lo], a - at[k, lo])
        }
        BEGIN { load(exesyms, "e"); load(dllsyms, "d") }
        {
            label = ""
            if (match($0, / in [A-Za-z0-9_]+ \(\+0x[0-9a-fA-F]+\)/)) {
                split(substr($0, RSTART + 4, RLENGTH - 4), part, " ")
                module = tolower(part[1]); offset = part[2]; gsub(/[(+)]/, "", offset)
                if (module == own && exebase != "") label = lookup("e", hex(exebase) + hex(offset))
                else if (module ~ /qelvop2sp$/ && dllbase != "") label = lookup("d", hex(dllbase) + hex(offset))
            }
            print label == "" ? $0 : $0 "  <" label ">"
        }'
}

# The function symbols of a binary, "address name" by address; made once.
watch_symbols() {
    [ -f "$1" ] || return 0
    local out
    out=$WATCH_DIR/.symbols/$(basename "$1").txt
    if [ ! -f "$out" ]; then
        mkdir -p "${out%/*}"
        x86_64-w64-mingw32-nm -n -C --defined-only "$1" 2>/dev/null |
            awk '$2 == "T" || $2 == "t" { a = $1; sub(/^[^ ]+ [^ ]+ /, ""); print a, $0 }' >"$out"
    fi
    echo "$out"
}

watch_image_base() {
    [ -f "$1" ] && x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null | awk '/^ImageBase/ { print $2; exit }'
}
