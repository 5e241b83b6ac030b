#!/usr/bin/env bash
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600
