#!/bin/sh
# Builds everything twice and runs every test: the port, link and threading tests under
# ThreadSanitizer, all the others under AddressSanitizer with UndefinedBehaviorSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc)

cmake -S "$root" -B "$root/build/tsan" -G Ninja -DSANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
cmake --build "$root/build/tsan" -j "$jobs"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DSANITIZE=address -DCMAKE_BUILD_TYPE=Debug
cmake --build "$root/build/asan" -j "$jobs"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
export ASAN_OPTIONS="detect_leaks=1 abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
export QT_QPA_PLATFORM=offscreen

# Address-space randomisation of some kernels defeats ThreadSanitizer's memory layout.
norand=""
if setarch "$(uname -m)" -R true 2>/dev/null; then norand="setarch $(uname -m) -R"; fi

echo "== ThreadSanitizer: platform, comm, link =="
$norand ctest --test-dir "$root/build/tsan" --output-on-failure -j "$jobs" -L "platform|comm|link"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: the rest =="
ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs" -LE "comm|link"
echo "All tests passed."
