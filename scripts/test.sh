#!/usr/bin/env bash
# Installs the dependencies, builds once with AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/sanitize
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEPUB2PDF_SANITIZE=ON -DEPUB2PDF_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j 2
