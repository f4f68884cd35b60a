#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Safe to run again: it does nothing when everything is present.
set -euo pipefail

PACKAGES=(
  cmake make python3 dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  libz-mingw-w64-dev googletest
  wine64 fonts-wine xvfb xauth xdotool x11-utils imagemagick
  nginx-light curl aria2 transmission-cli openssl ca-certificates
  locales fonts-wqy-microhei
  clang libclang-rt-dev libpng-dev
  zlib1g-dev chromium
  opentracker transmission-daemon qbittorrent-nox mktorrent osslsigncode libssl-dev
  iptables iproute2 natpmpc miniupnpc
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The swarm tests start their own transmission-daemon on loopback; the
# package's system service (listening on every interface) stays off.
if command -v systemctl >/dev/null 2>&1 && systemctl is-enabled transmission-daemon >/dev/null 2>&1; then
  $SUDO systemctl disable --now transmission-daemon >/dev/null 2>&1 || true
fi

# Wine takes the Windows code page from LANG only when that locale exists.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  echo "install-deps: generating zh_CN.UTF-8"
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
