#!/usr/bin/env bash
# Real host programs from Debian's packages (Qtractor's and MusE's plug-in scanners) load the
# native module as black boxes and must report what it is.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
install_packages qtractor muse || skip_leg "the real hosts cannot be installed: $INSTALL_FAILURE"
cd "$SIXBAND_ROOT"
build_preset default
run_tests ctest --preset default --label-regex real-host
