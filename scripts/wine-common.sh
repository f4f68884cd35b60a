# Shared settings for every Wine process the scripts start. Sourced.
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
# The 32-bit build runs under a Wine built in its WoW64 mode (32-bit Windows
# programs on 64-bit Linux libraries), which scripts/wine-wow64.sh unpacks
# here; Debian's 32-bit Wine needs a kernel that runs 32-bit Linux programs.
WINE_WOW64_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/thirdparty/wine-wow64

# Makes WINE64 and WINESERVER those that run the programs of a build folder
# (its width is in <build>/width, written by CMake).
use_wine_of_build() {
  if [ "$(cat "$1/width" 2>/dev/null)" = 32 ]; then
    if [ ! -x "$WINE_WOW64_DIR/bin/wine" ]; then
      echo "the 32-bit build needs the WoW64 Wine in $WINE_WOW64_DIR: run scripts/wine-wow64.sh" >&2
      return 1
    fi
    export WINE64=$WINE_WOW64_DIR/bin/wine WINESERVER=$WINE_WOW64_DIR/bin/wineserver
  fi
}

# The Wine, prefix and display of a build's running test environment
# (test-env.sh start), for scripts that start the build's programs.
use_test_env() {
  use_wine_of_build "$1" || return 1
  export WINEPREFIX=$1/wineprefix
  export DISPLAY=$(cat "$1/test-env/display")
}
# Our users run a Chinese Windows: code page 936, locale 0x804.
export LANG=zh_CN.UTF-8
unset LC_ALL LC_CTYPE LANGUAGE
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET runtime is installed or wanted. Nor does Wine copy the program's
# desktop shortcut into the Linux desktop and menus (winemenubuilder): every
# start of the program would leave a .desktop file in the user's home.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;winemenubuilder.exe=d}
# The engine would ask this machine's router to map its listening port: not
# ours to ask. The network lab turns it on for its own routers.
export P2SP_PORT_MAPPING=0

# Windows form of a Unix path (Wine maps / to drive Z:).
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
