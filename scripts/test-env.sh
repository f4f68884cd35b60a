#!/usr/bin/env bash
# Starts and stops what the tests run against: an X display (Xvfb), the Wine
# prefix with its wineserver, nginx serving the test portal on 127.0.0.1:17223
# and the fault-injecting HTTP server on 127.0.0.1:17224.
# Usage: test-env.sh start|stop <build-dir>
# With VORLA_USE_DISPLAY=1 and DISPLAY set, the current display is used.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-common.sh"
action=$1
build=$(cd "$2" && pwd)
# Without its Wine a build can still be stopped: nginx and the display end.
use_wine_of_build "$build" || [ "$action" = stop ] || exit 1
state=$build/test-env
export WINEPREFIX=$build/wineprefix

PORTAL_PORT=17223
FAULT_PORT=17224

wait_for_port() {
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "test-env: nothing listens on port $1" >&2
  return 1
}

# The servers listen on fixed loopback ports, so one test environment runs on
# the machine at a time: a holder process keeps a machine-wide lock from start
# to stop, and a second start waits for it.
LOCK_FILE=/tmp/vorla-test-env.lock
take_machine_lock() {
  rm -f "$state/lock-held"
  flock -w "${VORLA_LOCK_WAIT:-1500}" "$LOCK_FILE" \
    sh -c "echo \$\$ > '$state/lock-held'; exec sleep 86400" >/dev/null 2>&1 </dev/null &
  local waiter=$!
  echo "$waiter" >"$state/lock.pid"
  while [ ! -s "$state/lock-held" ]; do
    if ! kill -0 "$waiter" 2>/dev/null; then
      echo "test-env: another test run holds $LOCK_FILE" >&2
      return 1
    fi
    sleep 0.2
  done
}

kill_pidfile() {
  if [ -f "$1" ]; then kill "$(cat "$1")" 2>/dev/null || true; rm -f "$1"; fi
}

start_display() {
  local n
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$state/xvfb.log" 2>&1 </dev/null &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n" >"$state/display"; return 0; }
      sleep 0.05
    done
    kill_pidfile "$state/xvfb.pid"
  done
  echo "test-env: could not start Xvfb" >&2
  return 1
}

start_nginx() {
  local dir=$build/portal-nginx
  mkdir -p "$dir" "$build/portal" "$build/portal-logs"
  cp -r "$root/tests/portal/." "$build/portal/"
  # The generated part (fixtures/make_portal.py: installers, companion setup,
  # their configuration) replaces the static files of the same names. The
  # demo's folder has none of its own and takes the 64-bit build's.
  local fixtures=${VORLA_PORTAL_FIXTURES:-$build/portal-fixtures}
  [ -d "$fixtures" ] || fixtures=$root/build/win64/portal-fixtures
  if [ -d "$fixtures" ]; then cp -r "$fixtures/." "$build/portal/"; fi
  chmod -R a+rX "$build/portal"
  "$here/portal-nginx.sh" conf "$dir" "$build/portal" "$build/portal-logs" "$PORTAL_PORT" >"$dir/nginx.conf"
  : >"$build/portal-logs/access.log"
  : >"$build/portal-logs/combined.log"
  setsid nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" >"$dir/stdout.log" 2>&1 </dev/null &
  echo $! >"$state/nginx.pid"
  wait_for_port "$PORTAL_PORT"
}

# Whether drawing works in the 32-bit build's processes under this Wine, by a
# program of a few lines with nothing of ours (tests/platform/gdi_probe.c).
# Where it does not, wine-run.sh leaves the drawing tests out of the run and
# the `drawing` test says why; a 64-bit build keeps every test.
probe_drawing() {
  rm -f "$state/drawing-gap"
  [ "$(cat "$build/width" 2>/dev/null)" = 32 ] && [ -f "$build/bin/gdi_probe.exe" ] || return 0
  local out
  if ! out=$(DISPLAY=$(cat "$state/display") "$WINE64" "$build/bin/gdi_probe.exe" 2>&1 </dev/null); then
    printf '%s\n' "$out" | tr -d '\r' >"$state/drawing-gap"
    echo "test-env: drawing does not work in 32-bit processes under this Wine; the drawing tests" \
      "(tests/platform/wow64-drawing-gap.txt) are left out"
  fi
}

start_fault_server() {
  setsid python3 "$root/tests/servers/http_faults.py" --port "$FAULT_PORT" --log "$build/portal-logs/faults.log" \
    >"$state/faults.out" 2>&1 </dev/null &
  echo $! >"$state/faults.pid"
  wait_for_port "$FAULT_PORT"
}

case "$action" in
  start)
    mkdir -p "$state"
    "$0" stop "$build" >/dev/null 2>&1 || true
    mkdir -p "$state"
    take_machine_lock
    if [ -n "${VORLA_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
      echo "$DISPLAY" >"$state/display"   # the user's own display (demo)
    else
      start_display
    fi
    "$here/wine-prefix.sh" "$WINEPREFIX"
    # The first Wine process starts wineserver and the system services; they
    # must not hold the test runner's output pipe, so start them here, detached.
    DISPLAY=$(cat "$state/display") setsid "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    # Wine lets a window manager manage its top-level windows and, at every
    # hide or destroy of one, waits up to 2 s for the manager to confirm. Our
    # own Xvfb display has no manager, so every window change would leave the
    # screen empty for 2 s: there the windows stay unmanaged. On a person's
    # display (the demo) the manager answers at once and keeps its role.
    managed=N
    [ -n "${VORLA_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ] && managed=Y
    DISPLAY=$(cat "$state/display") "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ \
      /d "$managed" /f >/dev/null 2>&1 </dev/null || true
    probe_drawing
    start_nginx
    start_fault_server
    echo "test-env: ready (display $(cat "$state/display"))"
    ;;
  stop)
    kill_pidfile "$state/nginx.pid"
    kill_pidfile "$state/faults.pid"
    # Ends every Wine process of this build's own prefix (WINEPREFIX above),
    # and no other: each build and the demo have a prefix of their own.
    "$WINESERVER" -k >/dev/null 2>&1 || true
    kill_pidfile "$state/xvfb.pid"
    rm -f "$state/display"
    [ -s "$state/lock-held" ] && kill "$(cat "$state/lock-held")" 2>/dev/null || true
    kill_pidfile "$state/lock.pid"
    rm -f "$state/lock-held"
    echo "test-env: stopped"
    ;;
  *) echo "usage: $0 start|stop <build-dir>" >&2; exit 2 ;;
esac
