#!/usr/bin/env bash
# Builds and runs every test of the project: each leg in scripts/test-legs installs what it needs,
# builds its configuration and runs its tests. All legs run; the exit status says whether all passed.
source "$(dirname "$0")/lib.sh"

passed=0
failed=0
failures=()
for leg in "$SIXBAND_ROOT"/scripts/test-legs/*.sh; do
    name=$(basename "$leg" .sh)
    echo "=== $name"
    start=$SECONDS
    if bash "$leg"; then
        passed=$((passed + 1))
        echo "=== $name passed in $((SECONDS - start)) s"
    else
        failed=$((failed + 1))
        failures+=("$name")
        echo "=== $name FAILED after $((SECONDS - start)) s"
    fi
done

[ $failed -eq 0 ] || echo "Failed legs: ${failures[*]}"
echo "legs: $passed passed, $failed failed"
[ $failed -eq 0 ]
