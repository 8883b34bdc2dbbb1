#!/usr/bin/env bash
# Installs what is needed, builds, and runs the sixband host's demonstration: a synthesised
# signal equalised by the built module, written with a plot of the response into build/demo.
source "$(dirname "$0")/lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
cd "$SIXBAND_ROOT"
build_preset default >/dev/null
"$SIXBAND_ROOT/build/default/bin/sixband" demo -o "$SIXBAND_ROOT/build/demo" "$@"
echo
echo "Listen to build/demo/demo-in.wav and build/demo/demo-out.wav; the plot is build/demo/demo-response.png."
