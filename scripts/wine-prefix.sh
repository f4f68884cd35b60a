#!/usr/bin/env bash
# Creates a Wine prefix set up as our users' system (a Chinese Windows with
# fonts that have CJK glyphs), once: a prefix that is ready is left alone.
# Usage: wine-prefix.sh <prefix-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
export WINEPREFIX=$(mkdir -p "$1" && cd "$1" && pwd)
marker=$WINEPREFIX/.vorla-ready
[ -f "$marker" ] && exit 0

log=$WINEPREFIX/../wineprefix-init.log
echo "wine-prefix: initialising $WINEPREFIX"
# No Gecko or Mono installers during the first boot: we have no network.
WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE64" wineboot -i >"$log" 2>&1 </dev/null
"$WINESERVER" -w

# Debian's Wine fonts into the prefix, so the stock faces resolve.
fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
cp -n /usr/share/wine/fonts/* "$fonts"/ 2>/dev/null || true

reg() { "$WINE64" reg add "$@" /f >>"$log" 2>&1 </dev/null; }
cjk="WenQuanYi Micro Hei"
for face in "宋体" "微软雅黑" "SimSun" "Microsoft YaHei" "新宋体" "NSimSun"; do
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "$cjk"
done
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
  reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,$cjk"
done
# A crashing test must fail, not wait for someone to close a dialog.
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
"$WINESERVER" -w
touch "$marker"
