#!/usr/bin/env bash
# Installs every Debian package Kivo needs and unpacks the pinned npm source packages into
# third_party/. Idempotent: when everything is present it only checks and returns.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

mapfile -t packages < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$root/scripts/debian-packages.txt")
# Node.js may come from another source that bundles npm (Debian's npm package then conflicts
# with it): a working command counts as installed.
declare -A provided_by=([nodejs]=node [npm]=npm)
missing=()
for pkg in "${packages[@]}"; do
  if [ -n "${provided_by[$pkg]:-}" ] && command -v "${provided_by[$pkg]}" >/dev/null 2>&1; then
    continue
  fi
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    missing+=("$pkg")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

third_party="$root/third_party"
mkdir -p "$third_party"
while read -r name version sha1; do
  case "$name" in ''|'#'*) continue ;; esac
  dest="$third_party/$name-$version"
  if [ -f "$dest/.unpacked" ]; then
    continue
  fi
  echo "setup: fetching $name@$version"
  work=$(mktemp -d)
  (cd "$work" && npm pack --silent "$name@$version" >/dev/null)
  tarball=$(ls "$work"/*.tgz)
  actual=$(sha1sum "$tarball" | cut -d' ' -f1)
  if [ "$actual" != "$sha1" ]; then
    echo "setup: $name@$version has sha1 $actual, expected $sha1" >&2
    rm -rf "$work"
    exit 1
  fi
  rm -rf "$dest"
  mkdir -p "$dest"
  tar -xzf "$tarball" -C "$dest" --strip-components=1
  touch "$dest/.unpacked"
  rm -rf "$work"
done < "$root/scripts/npm-packages.txt"
