#!/usr/bin/env bash
# Installs the build into a staging directory, as a packager would (DESTDIR),
# and checks what arrives: the program, its manual page (rendered without
# warnings) and its bash completion (loading, and completing an option). Then
# makes the Debian package with cpack and runs the program from it.
#   packaging_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr/local > /dev/null
root="$stage/usr/local"
program="$root/bin/quolvend"
manual="$root/share/man/man1/quolvend.1"
completion="$root/share/bash-completion/completions/quolvend"
for file in "$program" "$manual" "$completion"; do
  [ -e "$file" ] || { echo "not installed: $file"; exit 1; }
done

"$program" -m "$source/examples/left.txt" "$source/examples/right.txt" | grep -q '^139.000	154.000	$'

words=$(bash -c "source '$completion' && COMP_WORDS=(quolvend --det) COMP_CWORD=1 && _quolvend && echo \"\${COMPREPLY[*]}\"")
[ "$words" = "--determinant" ] || { echo "--det completes to '$words'"; exit 1; }

if command -v groff > /dev/null; then
  warnings=$(groff -ww -z -man "$manual" 2>&1)
  [ -z "$warnings" ] || { echo "groff: $warnings"; exit 1; }
fi
if command -v man > /dev/null; then
  MANWIDTH=80 man -l "$manual" 2> /dev/null | grep -q 'calculator for dense single-precision matrices'
fi
echo "installed and checked under $stage"

if command -v dpkg-deb > /dev/null && command -v dpkg-shlibdeps > /dev/null; then
  (cd "$build" && cpack -G DEB -B "$stage/package" > /dev/null)
  deb=$(ls "$stage"/package/quolvend_*.deb)
  dpkg-deb -x "$deb" "$stage/extracted"
  for file in usr/bin/quolvend usr/share/man/man1/quolvend.1 \
              usr/share/bash-completion/completions/quolvend; do
    [ -e "$stage/extracted/$file" ] || { echo "not in the package: $file"; exit 1; }
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  case "$depends" in
    *libc6*libstdc++6*|*libstdc++6*libc6*) ;;
    *) echo "dependencies not worked out: '$depends'"; exit 1 ;;
  esac
  [ -n "$(dpkg-deb -f "$deb" Description)" ] || { echo "no description"; exit 1; }
  "$stage/extracted/usr/bin/quolvend" -D "$source/examples/square.txt" | grep -qx 'Determinant = -306.000000'
  echo "packaged as $(basename "$deb"), depending on $depends"
else
  echo "dpkg-deb or dpkg-shlibdeps missing (Debian: dpkg-dev): package not checked"
fi
