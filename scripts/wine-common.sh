# Shared settings for every Wine process the scripts start. Sourced.
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
# Our users run a Chinese Windows: code page 936, locale 0x804.
export LANG=zh_CN.UTF-8
unset LC_ALL LC_CTYPE LANGUAGE
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET runtime is installed or wanted. Nor does Wine copy the program's
# desktop shortcut into the Linux desktop and menus (winemenubuilder): every
# start of the program would leave a .desktop file in the user's home.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;winemenubuilder.exe=d}

# Windows form of a Unix path (Wine maps / to drive Z:).
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
