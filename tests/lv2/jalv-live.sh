#!/usr/bin/env bash
# jalv runs the plug-in live on a JACK server that this test starts on the dummy driver (no audio
# device); a probe client plays an 80 Hz sine through it and measures the gain, and controls typed
# into jalv's console, as a user types them, must move that gain as the band's design does: up by
# 13.9 dB with the 80 Hz band at 1.0, down by 15.1 dB at 0.0 (the probe allows for its window).
# Usage: jalv-live.sh PROBE URI   (LV2_PATH points at the built bundle)
set -euo pipefail
probe=$1
uri=$2
work=$(mktemp -d)
server="sixband-lv2-test-$$"
export JACK_DEFAULT_SERVER=$server
client=sixband_eq
jackd_pid=""
jalv_pid=""
cleanup() {
    # Closing its console ends jalv; the server is ours to stop.
    exec 3>&- || true
    if [ -n "$jalv_pid" ]; then
        for _ in $(seq 50); do kill -0 "$jalv_pid" 2>/dev/null || break; sleep 0.1; done
        kill "$jalv_pid" 2>/dev/null || true
    fi
    [ -z "$jackd_pid" ] || kill "$jackd_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    echo "--- jackd"; cat "$work/jackd.log"
    echo "--- jalv"; cat "$work/jalv.log"
    exit 1
}

jackd --no-realtime -n "$server" -d dummy -r 44100 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait -s "$server" -w -t 10 >/dev/null 2>&1 || fail "the JACK server did not start"

mkfifo "$work/console"
jalv -x -n "$client" "$uri" <"$work/console" >"$work/jalv.log" 2>&1 &
jalv_pid=$!
exec 3>"$work/console"
for _ in $(seq 100); do
    jack_lsp 2>/dev/null | grep -qx "$client:out_right" && break
    sleep 0.1
done
jack_lsp 2>/dev/null | grep -qx "$client:out_right" || fail "jalv did not bring up the plug-in's ports"

measure() { "$probe" 80 "$client:in_left" "$client:in_right" "$client:out_left" "$client:out_right"; }
# jalv applies a typed control when its console loop gets to it, which on a loaded machine can be
# after the probe has begun to measure: a reading counts once the next one agrees with it.
settled() {
    local previous current
    previous=$(measure) || return 1
    for _ in $(seq 5); do
        current=$(measure) || return 1
        awk -v a="$previous" -v b="$current" 'BEGIN {
            split(a, A, " "); split(b, B, " ")
            exit !((A[1] - B[1]) ^ 2 < 0.0025 && (A[2] - B[2]) ^ 2 < 0.0025)
        }' && break
        previous=$current
    done
    echo "$current"
}
neutral=$(settled) || fail "the probe could not measure"
echo "set band_80hz 1.0" >&3
boosted=$(settled) || fail "the probe could not measure"
echo "set band_80hz 0.0" >&3
cut=$(settled) || fail "the probe could not measure"
echo "80 Hz sine through jalv, gain in dB (left right): default $neutral; after 'set band_80hz 1.0' $boosted;" \
     "after 'set band_80hz 0.0' $cut"

# At its default the band is neutral.
awk -v n="$neutral" -v b="$boosted" -v c="$cut" 'BEGIN {
    split(n, N, " "); split(b, B, " "); split(c, C, " ")
    for (i = 1; i <= 2; i++)
        if (N[i] < -0.1 || N[i] > 0.1 || B[i] - N[i] < 13 || N[i] - C[i] < 14) exit 1
}' || fail "the typed controls did not move the gain as the band does"
