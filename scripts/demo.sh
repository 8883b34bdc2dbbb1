#!/usr/bin/env bash
# Installs what is needed, builds the program and the module (nothing else), and runs the sixband
# host's demonstration: a synthesised signal equalised by the built module, written with a plot of
# the response into build/demo. One line per step, so that a first run (installs and a build of a
# few minutes) never looks hung; each step's own output goes to build/demo-logs, shown on failure.
source "$(dirname "$0")/lib.sh"
cd "$SIXBAND_ROOT"
logs="$SIXBAND_ROOT/build/demo-logs"
mkdir -p "$logs"
step() {
    local name=$1 log="$logs/$2.log"
    shift 2
    echo "$name"
    local start=$SECONDS
    if ! "$@" >"$log" 2>&1; then
        tail -n 30 "$log"
        echo "That step failed; its whole output is in $log"
        exit 1
    fi
    echo "    done in $((SECONDS - start)) s"
}
step "[1/4] Installing the Debian packages the build needs (where missing)" install install_packages "${NATIVE_PACKAGES[@]}"
step "[2/4] Configuring the build in build/default" configure cmake --preset default -S "$SIXBAND_ROOT"
step "[3/4] Building the sixband program and the module" build \
    cmake --build --preset default -j "$(nproc)" --target sixband sixband_module
echo "[4/4] Running sixband demo"
"$SIXBAND_ROOT/build/default/bin/sixband" demo -o "$SIXBAND_ROOT/build/demo" "$@"
echo
echo "Listen to build/demo/demo-in.wav and build/demo/demo-out.wav; the plot is build/demo/demo-response.png."
