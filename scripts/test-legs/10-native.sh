#!/usr/bin/env bash
# The native x86-64 build: module, host tool, every test, the module's tests also on emulated
# processors with and without AVX2 (qemu-user), wherever this runs.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}" qemu-user
cd "$SIXBAND_ROOT"
build_preset default
ctest --preset default -j "$(nproc)" --label-exclude real-host
