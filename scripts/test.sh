#!/bin/sh
# Builds everything twice and runs every test: the port, link and threading tests under
# ThreadSanitizer, all the others under AddressSanitizer with UndefinedBehaviorSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
. "$root/scripts/build_dir.sh"
base=$(build_base "$root")
jobs=$(nproc)

echo "== Language modules match their source =="
python3 "$root/tools/make_lng.py" --check

cmake -S "$root" -B "$base/tsan" -G Ninja -DSANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
cmake --build "$base/tsan" -j "$jobs"
cmake -S "$root" -B "$base/asan" -G Ninja -DSANITIZE=address -DCMAKE_BUILD_TYPE=Debug
cmake --build "$base/asan" -j "$jobs"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
export ASAN_OPTIONS="detect_leaks=1 abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
export QT_QPA_PLATFORM=offscreen

# Address-space randomisation of some kernels defeats ThreadSanitizer's memory layout.
norand=""
if setarch "$(uname -m)" -R true 2>/dev/null; then norand="setarch $(uname -m) -R"; fi

echo "== ThreadSanitizer: platform, comm, link =="
$norand ctest --test-dir "$base/tsan" --output-on-failure -j "$jobs" -L "platform|comm|link"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: the rest =="
ctest --test-dir "$base/asan" --output-on-failure -j "$jobs" -LE "comm|link"
echo "All tests passed."
