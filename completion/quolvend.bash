# bash completion for quolvend: options, then file names.
_quolvend() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-a -s -m -D -d -i -r -h --add --subtract --multiply
      --determinant --divide --invert --reduce --help' -- "$cur"))
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _quolvend quolvend
