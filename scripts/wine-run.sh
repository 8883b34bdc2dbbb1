#!/usr/bin/env bash
# Runs a Windows program under wine: wine-run.sh x86|x64 PROGRAM [ARGUMENTS...]
#
# Uses $WINEPREFIX when it is set (the Windows test leg makes one for all its runs), otherwise a
# throw-away prefix. No display, no downloads: the first start of a prefix would otherwise wait for
# the Mono and Gecko installers. Exits 77 when this machine cannot run the architecture at all.
#
# 32-bit programs need Debian's wine32, whose loader is a 32-bit Linux program. Where the kernel
# cannot run those (no IA32 emulation), qemu-i386 runs the loader. The loader then cannot start
# helper processes of its own, so the 64-bit wine sets up the prefix, and the 32-bit system DLLs
# are put where a 32-bit program looks for them.
set -euo pipefail
arch=$1
shift

wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

skip() {
    echo "SKIPPED: cannot run $arch Windows programs here: $*" >&2
    exit 77
}

wineserver=/usr/lib/wine/wineserver
[ -x "$wine64" ] || skip "$wine64 is not installed"
if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX
    trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
fi
mkdir -p "$WINEPREFIX"

run=()
case "$arch" in
    x64)
        run=("$wine64")
        ;;
    x86)
        [ -x "$wine32" ] || skip "wine32:i386 is not installed"
        if "$wine32" --version >/dev/null 2>&1; then
            run=("$wine32")
        elif command -v qemu-i386 >/dev/null; then
            # The loader must not re-execute itself (a 32-bit exec that qemu cannot follow), and qemu
            # must reserve the low 3 GiB for it, or wine finds its fixed addresses taken.
            export WINELOADERNOEXEC=1
            run=(qemu-i386 -R 0xc0000000 "$wine32")
        else
            skip "the kernel cannot run 32-bit programs and qemu-i386 is not installed"
        fi
        ;;
    *)
        echo "usage: wine-run.sh x86|x64 PROGRAM [ARGUMENTS...]" >&2
        exit 2
        ;;
esac

# Tests running side by side share the prefix: the first one sets it up, the others wait.
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine64" wineboot --init >"$WINEPREFIX/wineboot.log" 2>&1 ||
            { cat "$WINEPREFIX/wineboot.log" >&2; echo "wine could not set up $WINEPREFIX" >&2; exit 1; }
        "$wineserver" -w
    fi
    syswow64="$WINEPREFIX/drive_c/windows/syswow64"
    if [ "${run[0]}" = qemu-i386 ] && [ ! -e "$syswow64/kernel32.dll" ]; then
        cp /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll /usr/lib/i386-linux-gnu/wine/i386-windows/*.exe \
            "$syswow64/"
    fi
) 9>"$WINEPREFIX/.sixband-setup.lock"

status=0
"${run[@]}" "$@" || status=$?
# Wine's helper processes keep the output open until the server has wound down.
"$wineserver" -w
exit $status
