#!/usr/bin/env bash
# Sets everything up and starts the editor, config. Closing it after a change
# starts the checker, Quorlin, from the same folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
exec build/bin/config
