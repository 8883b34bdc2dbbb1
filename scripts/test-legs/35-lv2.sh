#!/usr/bin/env bash
# The LV2 form under Debian's LV2 hosts and tools: lv2_validate (lv2-dev, with sordi's validator)
# on its Turtle, lilv's library and tools, and jalv on a JACK server of the test's own (jackd2's
# dummy driver: no audio device). Then the installed bundle, where LV2 hosts look for it.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
install_packages lv2-dev sordi liblilv-dev lilv-utils jalv jackd2 libjack-jackd2-dev ||
    skip_leg "the LV2 tools cannot be installed: $INSTALL_FAILURE"
cd "$SIXBAND_ROOT"
build_preset default
run_tests ctest --preset default --label-regex lv2 --no-tests=error

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/default --prefix "$prefix" >/dev/null
LV2_PATH="$prefix/lib/lv2" lv2info urn:sixband:equaliser |
    grep -q "Binary: *file://$prefix/lib/lv2/sixband.lv2/sixband.so" ||
    { echo "FAILED: lv2info does not find the installed bundle in $prefix/lib/lv2"; exit 1; }
echo "The installed bundle $prefix/lib/lv2/sixband.lv2 is found through LV2_PATH"
