#!/usr/bin/env bash
# Installs the build into a staging directory, as a packager would (DESTDIR),
# and checks what arrives: the program, its manual page (rendered without
# warnings) and its bash completion (loading, and completing an option).
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
