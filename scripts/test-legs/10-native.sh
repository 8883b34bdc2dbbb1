#!/usr/bin/env bash
# The native x86-64 build: module, LV2 plug-in, host tool, every test but those of real hosts
# (15-real-hosts.sh) and of the LV2 tools (35-lv2.sh); the module's tests also on emulated
# processors with and without AVX2 (qemu-user), wherever this runs.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}" qemu-user
# sox reads the 4 GiB WAV back as a second opinion beside libsndfile.
install_packages sox || record_skip "the read-back by sox of the output over 4 GiB (sox cannot be installed: $INSTALL_FAILURE)"
cd "$SIXBAND_ROOT"
build_preset default
run_tests ctest --preset default -j "$(nproc)" --label-exclude 'real-host|lv2'
