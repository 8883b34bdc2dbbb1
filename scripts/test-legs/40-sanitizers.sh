#!/usr/bin/env bash
# The module, the host tool and every test built with AddressSanitizer + UndefinedBehaviorSanitizer,
# then with ThreadSanitizer. Any report fails the run (the test presets set the runtime options).
source "$(dirname "$0")/../lib.sh"
# g++ brings GCC's sanitizer runtimes (libasan, libubsan, libtsan) with it.
install_packages "${NATIVE_PACKAGES[@]}"
# lilv hosts the LV2 form in the instrumented tests that compare it with the module.
install_packages liblilv-dev ||
    record_skip "the lilv-hosted LV2 tests (liblilv-dev cannot be installed: $INSTALL_FAILURE)"
cd "$SIXBAND_ROOT"
# ThreadSanitizer's shadow memory layout cannot cope with the wider address randomisation that
# some kernels use; there its programs run with randomisation off.
tsan_runner=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)" -gt 28 ]; then
    tsan_runner=(setarch "$(uname -m)" -R)
fi
echo "--- asan"
build_preset asan
run_tests ctest --preset asan -j "$(nproc)"
echo "--- tsan"
build_preset tsan
run_tests "${tsan_runner[@]}" ctest --preset tsan -j "$(nproc)"
