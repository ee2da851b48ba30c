#!/usr/bin/env bash
# The bash completion of portwarden-cli, run as bash-completion runs it: the
# verbs and options it offers are those of the program's own help, and the
# values of the options that take one are offered.
#   completion-test.sh COMPLETION_FILE PORTWARDEN_CLI
set -euo pipefail
completion=$1
cli=$2
failures=0

# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$completion"

# The words offered for the command line "$@", the last word being completed.
complete_line() {
  COMP_WORDS=(portwarden-cli "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _portwarden_cli portwarden-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
  local what=$1 want=$2 got=$3
  if [[ $got != "$want" ]]; then
    echo "completion of $what: offered '$got', wanted '$want'" >&2
    failures=$((failures + 1))
  fi
}

# The verbs: those the program's help lists, and help.
verbs=$("$cli" --help | sed -n '/^verbs:/,/^$/p' | sed -n 's/^  \([a-z-]*\).*/\1/p' | sed '/^$/d')
expect "the verb" "$(printf '%s\nhelp\n' "$verbs" | sort | tr '\n' ' ' | sed 's/ $//')" "$(complete_line "")"

# Each verb's options: those its help lists, and --help.
for verb in $verbs; do
  options=$("$cli" "$verb" --help | sed -n '/^options:/,/^$/p' | sed -n 's/^  \(--[a-z0-9-]*\).*/\1/p')
  expect "$verb's options" "$(printf '%s\n--help\n' "$options" | sed '/^$/d' | sort -u | tr '\n' ' ' | sed 's/ $//')" \
    "$(complete_line "$verb" --)"
done

expect "--zone" "restricted trusted unclassified" "$(complete_line add www.example.com --zone "")"
expect "--zone=t" "trusted" "$(complete_line add www.example.com --zone=t)"
expect "--protocols after a comma" "https,ftp https,http https,https" "$(complete_line add x --protocols https,)"
expect "list's --format" "json table tsv" "$(complete_line list --format "")"
expect "zone's --format" "json text" "$(complete_line zone x --format "")"
expect "enforce's action" "off on show status" "$(complete_line enforce "")"
expect "after --store" "" "$(cd "$(mktemp -d)" && complete_line --store "")"
expect "a verb after --store" "secure set status" "$(complete_line --store x.db s)"
expect "help's verb" "register-button report restrict-hosts" "$(complete_line help re)"

if ((failures)); then
  echo "completion test: $failures failures" >&2
  exit 1
fi
echo "completion test: every verb, option and value offered as the help lists them"
