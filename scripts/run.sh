#!/bin/sh
# Builds both programs (release) and starts the service program nd307.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build/release" -j "$(nproc)" --target nd307 vrf307 recorder_sim
exec "$root/build/release/service/nd307" "$@"
