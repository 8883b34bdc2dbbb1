#!/usr/bin/env bash
# Installs what is needed, builds, and runs the sixband host's demonstration.
source "$(dirname "$0")/lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
cd "$SIXBAND_ROOT"
build_preset default >/dev/null
exec "$SIXBAND_ROOT/build/default/bin/sixband" info "$@"
