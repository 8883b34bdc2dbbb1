#!/usr/bin/env bash
# The 32-bit x86 Linux module and its tests. Kernels without 32-bit support run them under qemu.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}" g++-multilib googletest
if ! "$SIXBAND_ROOT/scripts/can-run-i386.sh"; then
    install_packages qemu-user ||
        skip_leg "this kernel cannot run 32-bit programs and qemu-user cannot be installed: $INSTALL_FAILURE"
fi
cd "$SIXBAND_ROOT"
build_preset linux-x86
run_tests ctest --preset linux-x86 -j "$(nproc)"
