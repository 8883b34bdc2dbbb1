#!/usr/bin/env bash
# Succeeds when this kernel can run 32-bit x86 programs natively.
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'int main(void){return 0;}\n' > "$dir/probe.c"
gcc -m32 "$dir/probe.c" -o "$dir/probe" 2>/dev/null && "$dir/probe" 2>/dev/null
