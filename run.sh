#!/usr/bin/env bash
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
