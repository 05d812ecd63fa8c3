# shellcheck shell=bash
# Sourced by the scripts that run our Windows programs under Wine, with WINEPREFIX set.
#
# Wine maps COM1 to /dev/ttyS0 (the system console on these machines), and every other
# /dev/ttyS* it finds, each time a session starts. So one session is started and kept
# (a persistent wineserver), its com links are deleted before a program of ours runs,
# no Ports registry entry is made, and every COM port is checked before it is used.

# wine_session: a fresh prefix with its session up and no COM ports at all.
wine_session() {
    wineboot -i >/dev/null 2>&1 || return 1
    wineserver -w
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1 # the session's services start, and make their links
    rm -f "$WINEPREFIX"/dosdevices/com*
}

# no_system_ports: stops the script when a COM port of the prefix leads to a serial
# device of this machine or to a console. The device numbers are compared, each found
# by stat, which opens nothing; a name proves nothing (a link, a udev alias).
no_system_ports() {
    local guarded=() dev c major minor link numbers g
    for dev in /dev/ttyS* /dev/console /dev/tty0; do
        [[ -c $dev ]] && guarded+=("$(stat -L -c '%t:%T' "$dev")")
    done
    # shellcheck disable=SC2013 # the file is one line of names
    for c in $(cat /sys/class/tty/console/active 2>/dev/null); do
        if [[ -r /sys/class/tty/$c/dev ]]; then
            IFS=: read -r major minor < "/sys/class/tty/$c/dev"
            guarded+=("$(printf '%x:%x' "$major" "$minor")")
        fi
    done
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [[ -L $link ]] || continue
        numbers=$(stat -L -c '%t:%T' "$link" 2>/dev/null) || continue
        for g in "${guarded[@]}"; do
            if [[ $numbers == "$g" ]]; then
                echo "wine: ${link##*/} leads to a serial device of this machine or its console" \
                    "($(readlink "$link")); stopping before anything opens it" >&2
                exit 1
            fi
        done
    done
}

# com_port N DEVICE: COM<N> of the prefix is DEVICE (a pseudo-terminal), and nothing else is.
com_port() {
    rm -f "$WINEPREFIX"/dosdevices/com*
    ln -s "$2" "$WINEPREFIX/dosdevices/com$1"
    no_system_ports
}
