#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test in one ctest run:
# host unit tests (ASan+UBSan) and the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset host >/dev/null
cmake --build --preset host
ctest --test-dir build/host --output-on-failure "$@"
