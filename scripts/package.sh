#!/usr/bin/env bash
# Sets up, builds and packs Kivo as a Debian package: build/kivo_<version>_amd64.deb holds the
# bundle under /opt/kivo, the Kivo command, the desktop entry, icons and AppStream metainfo.
# Install it with: sudo apt install ./build/kivo_<version>_amd64.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" default
cd "$root/build/default"
cpack -G DEB --config CPackConfig.cmake >/dev/null
ls "$root"/build/kivo_*_amd64.deb
