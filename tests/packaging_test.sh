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
manual="$root/share/man/man1/quolvend.1.gz"
completion="$root/share/bash-completion/completions/quolvend"
for file in "$program" "$manual" "$completion"; do
  [ -e "$file" ] || { echo "not installed: $file"; exit 1; }
done

"$program" -m "$source/examples/left.txt" "$source/examples/right.txt" | grep -q '^139.000	154.000	$'

# complete WORD...: the candidates for the last word, one a line, in a folder
# holding "my matrix.txt" and "-weird.txt".
complete_words() {
  (cd "$stage/names" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
                               _quolvend; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@")
}
mkdir -p "$stage/names"
touch "$stage/names/my matrix.txt" "$stage/names/-weird.txt"
expect_completion() {
  local want=$1
  shift
  local got
  got=$(complete_words "$@")
  [ "$got" = "$want" ] || { echo "completing '$*': got '$got', wanted '$want'"; exit 1; }
}
expect_completion "--determinant" quolvend --det
expect_completion "my matrix.txt" quolvend -i my
expect_completion "my matrix.txt" quolvend -a "my matrix.txt" my
# With the option word on the line, no second option is offered.
expect_completion "-weird.txt" quolvend -a -w
expect_completion "" quolvend -a --det

if command -v groff > /dev/null; then
  warnings=$(zcat "$manual" | groff -ww -z -man 2>&1)
  [ -z "$warnings" ] || { echo "groff: $warnings"; exit 1; }
fi
if command -v man > /dev/null && command -v col > /dev/null; then
  # The formulas read on a terminal as written: no superscripts lost.
  page=$(LC_ALL=C MANWIDTH=80 man -l "$manual" 2> /dev/null | col -b | tr -s ' \t' '  ')
  for text in 'calculator for dense single-precision matrices' 'modulo 2^32' 'n*2^(n-1)' \
              'a00*a11 - a10*a01'; do
    grep -qF -- "$text" <<< "$page" || { echo "the manual does not show '$text'"; exit 1; }
  done
fi
echo "installed and checked under $stage"

if command -v dpkg-deb > /dev/null && command -v dpkg-shlibdeps > /dev/null; then
  (cd "$build" && cpack -G DEB -B "$stage/package" > /dev/null)
  deb=$(ls "$stage"/package/quolvend_*.deb)
  dpkg-deb -x "$deb" "$stage/extracted"
  for file in usr/bin/quolvend usr/share/man/man1/quolvend.1.gz \
              usr/share/bash-completion/completions/quolvend usr/share/doc/quolvend/copyright \
              usr/share/doc/quolvend/changelog.gz; do
    [ -e "$stage/extracted/$file" ] || { echo "not in the package: $file"; exit 1; }
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  case "$depends" in
    *libc6*libstdc++6*|*libstdc++6*libc6*) ;;
    *) echo "dependencies not worked out: '$depends'"; exit 1 ;;
  esac
  [ -n "$(dpkg-deb -f "$deb" Description)" ] || { echo "no description"; exit 1; }
  "$stage/extracted/usr/bin/quolvend" -D "$source/examples/square.txt" | grep -qx 'Determinant = -306.000000'
  if command -v lintian > /dev/null; then
    # Errors fail; warnings are listed.
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)
    if grep -q '^E:' <<< "$report"; then echo "lintian: $report"; exit 1; fi
    [ -z "$report" ] || echo "lintian: $report"
  fi
  echo "packaged as $(basename "$deb"), depending on $depends"
else
  echo "dpkg-deb or dpkg-shlibdeps missing (Debian: dpkg-dev): package not checked"
fi
