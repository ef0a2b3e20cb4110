#!/usr/bin/env bash
# Sets up, builds, installs the bundle into build/Kivo and starts Kivo.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" default
bundle="$root/build/Kivo"
cmake --install "$root/build/default" --prefix "$bundle" >/dev/null
exec "$bundle/bin/Kivo" "$@"
