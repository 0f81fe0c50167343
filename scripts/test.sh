#!/usr/bin/env bash
# Installs the dependencies, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs the
# whole test suite, then builds the suites without the desktop program with ThreadSanitizer and runs
# them again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

build=build/sanitize
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEPUB2PDF_SANITIZE=ON -DEPUB2PDF_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build" --output-on-failure -j 2

# clang-tidy with the checks of .clang-tidy: any finding fails the run.
bash scripts/tidy.sh "$build"

tsan=build/tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEPUB2PDF_TSAN=ON -DEPUB2PDF_BUILD_GUI=OFF \
  -DEPUB2PDF_BUILD_BENCH=OFF
cmake --build "$tsan" -j "$(nproc)"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir "$tsan" --output-on-failure -j 2 -E '^SourcesAreFormatted$'
