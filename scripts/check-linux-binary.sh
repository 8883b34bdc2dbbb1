#!/usr/bin/env bash
# Checks a Linux binary that hosts load (the module, the LV2 plug-in) from its ELF headers: it
# defines exactly one dynamic symbol, its entry, and needs no shared C++ runtime (it carries a
# static one, so that it does not meet the host's). Uses binutils.
# Usage: check-linux-binary.sh BINARY ENTRY
set -euo pipefail
binary=$1
entry=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

exports=$(nm -D --defined-only "$binary" | awk '{print $NF}')
[ "$exports" = "$entry" ] || fail "$binary exports [$(echo $exports)], expected exactly [$entry]"
needed=$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for library in $needed; do
    case "$library" in
        libstdc++*|libgcc_s*) fail "$binary needs $library, a shared C++ runtime" ;;
    esac
done
[ $status -ne 0 ] || echo "$binary: exports [$entry], needs [$(echo $needed)]"
exit $status
