#!/usr/bin/env bash
# Each libFuzzer target (clang 14, ASan + UBSan) for a bounded time, starting from the committed
# seed corpus. A crash, a sanitizer report or a broken property fails the leg; the input that
# caused it is kept in build/fuzz/findings/. Executions per target are printed and written to
# build/fuzz/executions.txt.
source "$(dirname "$0")/../lib.sh"
install_packages "${NATIVE_PACKAGES[@]}"
install_packages clang-14 libclang-rt-14-dev || skip_leg "clang 14 and its fuzzing runtime cannot be installed: $INSTALL_FAILURE"
cd "$SIXBAND_ROOT"
build_preset fuzz

seconds=${SIXBAND_FUZZ_SECONDS:-60}
out="$SIXBAND_ROOT/build/fuzz"
mkdir -p "$out/findings"
: >"$out/executions.txt"
status=0
for target in Dispatcher ValueText Process; do
    # New inputs go to a working copy; the committed corpus stays as it is.
    work="$out/corpus/$target"
    mkdir -p "$work"
    log="$out/$target.log"
    if "$out/bin/${target}Fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/findings/$target-" \
        "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        result="clean"
    else
        result="FINDING (see $log and $out/findings/)"
        status=1
        grep -E '^(finding:|==[0-9]+==ERROR|SUMMARY)' "$log" | head -5 || true
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
    echo "$target: ${executions:-?} executions in $seconds s, $result" | tee -a "$out/executions.txt"
done
exit $status
