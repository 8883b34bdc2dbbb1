#!/usr/bin/env bash
# The installed layout: `cmake --install` puts the module in <prefix>/lib/vst, the LV2 bundle in
# <prefix>/lib/lv2/sixband.lv2 and the program in <prefix>/bin, and the installed program finds the
# installed module on its own. Then the README's
# quick-start demonstration, exactly as a user runs it.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
cd "$SIXBAND_ROOT"
build_preset default >/dev/null
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/default --prefix "$prefix" >/dev/null
test -f "$prefix/lib/vst/sixband.so"
test -x "$prefix/bin/sixband"
for file in manifest.ttl sixband.ttl sixband.so; do test -f "$prefix/lib/lv2/sixband.lv2/$file"; done
# Read whole first: grep -q stops at its match, and the program's SIGPIPE would fail the pipeline.
info=$("$prefix/bin/sixband" info)
grep -q "module *$prefix/lib/vst/sixband.so" <<<"$info"
(cd "$prefix" && bin/sixband demo -o run >/dev/null && test -s run/demo-out.wav && test -s run/demo-response.png)
scripts/demo.sh
