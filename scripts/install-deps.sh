#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vistrel need.
# Idempotent and quiet: does nothing when everything is present, refreshes the
# package lists only when something is missing, and prints only on failure.
# Packages named as arguments are installed too (tools only some scripts use).
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ lld pkg-config git
  libgtest-dev libgmock-dev
  # Qt 6 and every QML module the application imports
  qt6-base-dev qt6-declarative-dev qt6-shadertools-dev libqt6svg6
  # qmllint, which checks the views in the tests
  qt6-declarative-dev-tools
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtqml-models
  qml6-module-qtquick qml6-module-qtquick-templates qml6-module-qtquick-controls
  qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtquick-dialogs
  qml6-module-qtquick-shapes qml6-module-qttest
  # video
  ffmpeg libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libpng-dev
  # the SSH client the application drives
  openssh-client
  # tests: UI under Xvfb, the simulated headset, a private D-Bus
  xvfb xauth libgl1-mesa-dri openssh-server iproute2 util-linux procps dbus
  # tests: datagrams lost on the way from the simulated headset
  nftables
  # tests: the desktop entry and software-centre validators
  desktop-file-utils appstream
  # tests: keyboard input into the askpass dialog
  xdotool
  # tests: the sources' formatting
  clang-format
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ $status == ii* ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Installing openssh-server must not start or enable a system sshd: the
# simulated headset runs its own. Debian's policy-rc.d denies service starts.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
  "${sudo[@]}" chmod 755 "$policy"
  own_policy=1
fi
cleanup_policy() { [[ $own_policy -eq 1 ]] && "${sudo[@]}" rm -f "$policy"; rm -f "$log"; }
trap cleanup_policy EXIT

export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get update -qq >"$log" 2>&1 ||
   ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: could not install: ${missing[*]}" >&2
  exit 1
fi

# A system sshd must stay off even if the package enabled its unit.
if command -v systemctl >/dev/null 2>&1 && [[ -d /run/systemd/system ]]; then
  "${sudo[@]}" systemctl disable --now ssh.service ssh.socket >/dev/null 2>&1 || true
fi
