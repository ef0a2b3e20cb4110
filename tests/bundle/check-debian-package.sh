#!/usr/bin/env bash
# Packs the built tree as the release does and checks the package as Debian would: lintian
# without errors, the desktop entry and the AppStream metainfo valid, the copyright file listing
# every bundled licence, the libraries stripped, the command answering --help.
# Usage: check-debian-package.sh BUILD-DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
deb="$(ls "$work"/out/kivo_*_amd64.deb)"
echo "package: $(basename "$deb")"

failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Errors fail; warnings are shown for the reader.
lintian --no-tag-display-limit --fail-on error "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/local.kivo.afm-trial.desktop" \
  || fail "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/local.kivo.afm-trial.metainfo.xml" \
  || fail "appstreamcli validate"

copyright="$work/root/usr/share/doc/kivo/copyright"
[[ -f "$copyright" ]] || fail "no /usr/share/doc/kivo/copyright"
head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "copyright is not in the DEP-5 format"
for library in libkivo-llama libkivo-whisper; do
  grep -q "^Files: .*$library" "$copyright" || fail "copyright does not cover $library"
done
for licence in whisper.cpp llama.cpp; do
  [[ -f "$work/root/opt/kivo/Resources/licenses/$licence.txt" ]] || fail "the bundle lacks the $licence licence"
done
[[ -f "$work/root/usr/share/man/man1/Kivo.1.gz" ]] || fail "no manual page"

while IFS= read -r library; do
  if file "$library" | grep -q 'not stripped'; then fail "not stripped: ${library#"$work/root"}"; fi
  if [[ -x "$library" ]]; then fail "executable library: ${library#"$work/root"}"; fi
done < <(find "$work/root" -name '*.so*' -type f)

# The packaged command works without a display.
"$work/root/opt/kivo/bin/Kivo" --help | grep -q '^Usage: Kivo' || fail "Kivo --help"
exit "$failed"
