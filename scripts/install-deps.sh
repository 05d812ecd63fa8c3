#!/usr/bin/env bash
# Installs what building, testing and running kvp-reader needs on Debian 12.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev
    # The window's English translation: lrelease compiles translations/*.ts into the
    # program, lupdate brings them up to date with the sources (qt_add_translations).
    qt6-l10n-tools qt6-tools-dev
    # The window's Chinese texts need a font that has them.
    fonts-wqy-microhei
    # Qt's own dialogs (buttons, file dialogs) in the window's Chinese: qtbase_zh_CN.qm.
    qt6-translations-l10n
    # The completion test runs the shell completion under bash-completion.
    bash-completion
    # tst_network reads the simulated module through real serial servers on 127.0.0.1:
    # socat for raw TCP, ser2net for the Telnet COM port option (RFC 2217).
    socat ser2net
    # --mqtt publishes through libmosquitto; the MQTT tests start a mosquitto broker
    # of their own and read it with mosquitto_sub; openssl makes the certificate of the
    # one that speaks TLS.
    libmosquitto-dev mosquitto mosquitto-clients openssl
)
if [[ "${1:-}" == "--screenshot" ]]; then
    packages+=(xvfb xauth x11-apps x11-utils xdotool imagemagick)
fi
if [[ "${1:-}" == "--package" ]]; then
    # CPack's Debian generator computes Depends with dpkg-shlibdeps, which needs file;
    # lintian checks the package, man-db and groff render its manual pages.
    packages+=(dpkg-dev file lintian man-db groff-base)
fi
if [[ "${1:-}" == "--windows" ]]; then
    # scripts/windows.sh: MinGW-w64 cross-builds for 64-bit Windows, Wine 8 runs the
    # programs it built, gcc builds the harness's shim for Wine; NSIS and zip make the
    # installer and the portable ZIP; Xvfb shows the window under Wine; dpkg-dev unpacks
    # Debian's mosquitto source for libmosquitto's MinGW build.
    packages+=(g++-mingw-w64-x86-64-posix wine64 wine gcc libc6-dev nsis zip icoutils xvfb xauth python3 dpkg-dev)
fi
if [[ "${1:-}" == "--realdrivers" ]]; then
    # scripts/realdrivers.sh boots Debian's kernel under QEMU to read through the real
    # 16550 and FTDI drivers: QEMU emulates both and traces what the driver set; the
    # guest's initramfs is a static busybox; udev makes /dev/serial/by-id in the
    # guest and kmod loads the drivers there; python3 drives QEMU over QMP.
    packages+=(qemu-system-x86 linux-image-amd64 busybox-static udev kmod python3)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
