#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every source file of src/, two at a time; exits non-zero on any finding (they are errors, see WarningsAsErrors).
# usage: scripts/tidy.sh BUILD_FOLDER   (a configured build whose compile_commands.json is used)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/sanitize}
find src -name '*.cpp' -print0 |
  xargs -0 -n 1 -P "$(nproc)" clang-tidy -p "$build" --quiet 2>/dev/null
echo "clang-tidy: no findings"
