#!/usr/bin/env bash
# Builds the debug preset (AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test,
# then builds the release preset (optimised, tests included) and runs every test again there,
# then builds the fuzz preset (clang, libFuzzer) and runs every fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake --preset debug
cmake --build --preset debug -j "$(nproc)"
ctest --preset debug -j "$(nproc)"
cmake --preset release
cmake --build --preset release -j "$(nproc)"
ctest --preset release -j "$(nproc)"
cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"
fuzz/run.sh
