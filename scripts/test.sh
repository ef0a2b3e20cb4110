#!/usr/bin/env bash
# Sets up, builds and runs every test inside a private desktop session.
# Extra arguments go to ctest (for example: -L unit).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" default
cd "$root"
exec "$root/scripts/test-session.sh" ctest --preset default "$@"
