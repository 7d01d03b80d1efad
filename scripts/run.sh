#!/usr/bin/env bash
# Builds listpool and starts it on this terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target listpool
exec build/listpool
