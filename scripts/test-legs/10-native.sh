#!/usr/bin/env bash
# The native x86-64 build: module, host tool, every test.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
cd "$SIXBAND_ROOT"
build_preset default
run_tests ctest --preset default -j "$(nproc)" --label-exclude real-host
