#!/usr/bin/env bash
# Installs what building and running need, builds the two programs (not the
# tests) and starts the editor, config. Closing it after a change starts the
# checker, Quorlin, from the same folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run build
exec build/bin/config
