#!/usr/bin/env bash
# MIDI-to-audio latency through Zorvil's JACK ports, on a JACK server of its own (dummy backend,
# 44100 Hz, 256-frame periods): "WaveOutBufSize" 2205 and 147, clocked by the engine timer and
# by the wave input. Needs a built tree (scripts/build).
#   bench/latency.sh [NOTES]
set -euo pipefail
cd "$(dirname "$0")/.."
notes="${1:-20}"
export JACK_DEFAULT_SERVER="zorvil-latency-$$"
jackd --no-realtime -t 10000 -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 256 >/dev/null 2>&1 &
jack=$!
trap 'kill $jack 2>/dev/null; wait $jack 2>/dev/null || true' EXIT
sleep 2
for size in 2205 147; do
    for clock in timer wavein; do
        build/bin/zorvil-latency "$size" "$clock" "$notes"
    done
done
