#!/usr/bin/env bash
# The Windows modules, 32-bit and 64-bit, cross-built with Debian's MinGW-w64: their exports,
# imports and version resource checked from the files, and the tests that drive the module through
# `main` and the record run under wine. Where the kernel cannot run 32-bit programs, the 32-bit
# wine loader runs under qemu-i386 (see scripts/wine-run.sh).
#
# The 32-bit wine comes from the i386 architecture's packages, whose index or library versions can
# lag behind amd64's for days. Without it the 32-bit tests are reported as skipped; everything
# else, both cross-builds and their file checks and the 64-bit tests, still has to pass.
source "$(dirname "$0")/../lib.sh"

install_packages cmake make "${MINGW_PACKAGES[@]}" wine wine64

x86_skip_reason=""
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
if ! install_packages wine32:i386; then
    x86_skip_reason="wine32:i386 cannot be installed: $INSTALL_FAILURE"
    echo "The 32-bit Windows tests will be skipped: $x86_skip_reason"
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "This kernel cannot run the 32-bit wine loader; the 32-bit tests run it under qemu-i386."
    install_packages qemu-user || x86_skip_reason="qemu-user cannot be installed: $INSTALL_FAILURE"
fi

cd "$SIXBAND_ROOT"
# One throw-away prefix for every run of the leg: setting one up takes the first start's seconds.
WINEPREFIX=$(mktemp -d)
export WINEPREFIX
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT

status=0
for preset in windows-x64 windows-x86; do
    build_preset "$preset"
    SKIP_REASON=""
    [ "$preset" != windows-x86 ] || SKIP_REASON=$x86_skip_reason
    run_tests ctest --preset "$preset" -j "$(nproc)" || status=1
done
exit $status
