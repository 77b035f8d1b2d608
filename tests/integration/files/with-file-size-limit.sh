#!/usr/bin/env bash
# Runs the command with files limited to 32 MiB. The limit's signal is ignored, so a write past it
# fails with EFBIG (Wine turns that into a Windows error) instead of ending the process.
# Wine's own files (the prefix's registry) stay far below the limit.
set -euo pipefail
ulimit -f $((32 * 1024))
trap '' XFSZ
exec "$@"
