#!/usr/bin/env bash
# Builds and runs every test of the project: each leg in scripts/test-legs installs what it needs,
# builds its configuration and runs its tests. All legs run; the exit status says whether all passed.
#
# A leg passes (status 0), fails (any other status) or could not run at all (77: a tool it needs
# cannot be installed). A leg that ran but had to leave some tests out passes, and is named with
# what it left out and why before the summary, so that a partial run is never read as a full one.
source "$(dirname "$0")/lib.sh"

passed=0
failed=0
skipped=0
failures=()
partial=()
skips=$(mktemp)
skip_lines() { sed ':a;N;$!ba;s/\n/; /g' "$skips"; }
trap 'rm -f "$skips"' EXIT
for leg in "$SIXBAND_ROOT"/scripts/test-legs/*.sh; do
    name=$(basename "$leg" .sh)
    echo "=== $name"
    start=$SECONDS
    : >"$skips"
    status=0
    SIXBAND_LEG_SKIPS=$skips bash "$leg" || status=$?
    took="$((SECONDS - start)) s"
    if [ $status -eq 77 ]; then
        skipped=$((skipped + 1))
        partial+=("$name did not run: $(skip_lines)")
        echo "=== $name SKIPPED after $took"
    elif [ $status -eq 0 ]; then
        passed=$((passed + 1))
        [ ! -s "$skips" ] || partial+=("$name passed without $(skip_lines)")
        echo "=== $name passed in $took"
    else
        failed=$((failed + 1))
        failures+=("$name")
        echo "=== $name FAILED after $took"
    fi
done

for line in "${partial[@]}"; do echo "Skipped: $line"; done
[ $failed -eq 0 ] || echo "Failed legs: ${failures[*]}"
echo "legs: $passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
