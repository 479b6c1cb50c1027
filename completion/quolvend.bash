# bash completion for quolvend: one option word, then file names. The files
# are taken by position after the one option word, so once an option is on
# the line no second one is offered; a word starting with "-" then completes
# to file names ("-" alone stands for standard input).
_quolvend() {
  local cur=${COMP_WORDS[COMP_CWORD]} i
  local options=0
  for ((i = 1; i < COMP_CWORD; i++)); do
    [[ ${COMP_WORDS[i]} == -?* ]] && options=1
  done
  if [[ $cur == -* && $options == 0 ]]; then
    mapfile -t COMPREPLY < <(compgen -W '-a -s -m -D -d -i -r -h --add --subtract --multiply
      --determinant --divide --invert --reduce --help' -- "$cur")
    return
  fi
  # One candidate a line, so that a name with spaces stays one candidate;
  # -o filenames quotes it on the command line.
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _quolvend quolvend
