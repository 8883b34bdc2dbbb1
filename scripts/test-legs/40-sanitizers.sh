#!/usr/bin/env bash
# The module, the host tool and every test built with AddressSanitizer + UndefinedBehaviorSanitizer,
# then with ThreadSanitizer. Any report fails the run (the test presets set the runtime options).
source "$(dirname "$0")/../lib.sh"
# g++ brings GCC's sanitizer runtimes (libasan, libubsan, libtsan) with it.
install_packages "${NATIVE_PACKAGES[@]}"
cd "$SIXBAND_ROOT"
for preset in asan tsan; do
    echo "--- $preset"
    build_preset "$preset"
    ctest --preset "$preset" -j "$(nproc)"
done
