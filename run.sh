#!/usr/bin/env bash
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
exec build/bin/Tessel3
