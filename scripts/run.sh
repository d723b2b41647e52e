#!/bin/sh
# Builds both programs (release) and starts the service program nd307.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
. "$root/scripts/build_dir.sh"
build=$(build_base "$root")/release
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target nd307 vrf307 recorder_sim
exec "$build/service/nd307" "$@"
