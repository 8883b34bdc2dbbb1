#!/usr/bin/env bash
# The shipped module and LV2 binary (static C++ runtime and all) under valgrind's memcheck: load
# and unload each, create and close instances, send the module opcodes beyond the table. Any invalid access and any byte lost,
# definitely, indirectly or possibly, fails the leg.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
install_packages valgrind || skip_leg "valgrind cannot be installed: $INSTALL_FAILURE"
cd "$SIXBAND_ROOT"
build_preset default

# Fewer cycles than the plain run: memcheck is some fifty times slower, and a leak of one cycle
# already shows in one.
export SIXBAND_MAIN_CYCLES=${SIXBAND_MAIN_CYCLES:-2000}
export SIXBAND_LOAD_CYCLES=${SIXBAND_LOAD_CYCLES:-200}
memcheck() {
    valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
        "$@" 2>&1 | grep -E '(in use at exit|definitely lost|indirectly lost|possibly lost|All heap blocks|ERROR SUMMARY)|^\[  (PASSED|FAILED)'
    return "${PIPESTATUS[0]}"
}
echo "--- $SIXBAND_MAIN_CYCLES main/close cycles, $SIXBAND_LOAD_CYCLES load/unload cycles"
memcheck build/default/bin/load_cycle_tests
echo "--- opcodes beyond the table"
memcheck build/default/bin/hostile_host_tests --gtest_filter='UnknownOpcodes.*'
