#!/usr/bin/env bash
# The manual pages as man shows them: no warnings from the formatter, the
# sections a reader looks for, and an entry for every verb of portwarden-cli.
#   manpages-test.sh PACKAGING_FOLDER PORTWARDEN_CLI
set -euo pipefail
pages=$1
cli=$2
failures=0

fail() {
  echo "man pages: $*" >&2
  failures=$((failures + 1))
}

for page in portwarden-cli portwarden; do
  file=$pages/$page.1
  [[ -f $file ]] || { fail "$file is missing (is help2man installed?)"; continue; }
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null) || fail "man cannot show $file"
  [[ -z $warnings ]] || fail "$file renders with warnings: $warnings"
  # What lexgrog (and so whatis and lintian) reads as the page's name line.
  lexgrog "$file" >/dev/null 2>&1 || fail "$file has no NAME line that whatis can read"
  shown=$(MANWIDTH=80 man -l "$file" 2>/dev/null)
  for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
    grep -qx "$section" <<<"$shown" || fail "$file has no $section section"
  done
done

# One entry for each verb the program has, and no line of the synopsis or the
# options taken for a heading.
shown=$(MANWIDTH=80 man -l "$pages/portwarden-cli.1" 2>/dev/null)
for verb in $("$cli" --help | sed -n '/^verbs:/,/^$/p' | sed -n 's/^  \([a-z-]*\).*/\1/p'); do
  grep -qx "   $verb" <<<"$shown" || fail "portwarden-cli.1 has no entry for the verb $verb"
done
headings=$(grep -E '^[^ ]' <<<"$shown" | grep -vE '^PORTWARDEN-CLI\(1\)|^portwarden-cli [0-9]')
expected=$(printf '%s\n' NAME SYNOPSIS DESCRIPTION OPTIONS VERBS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES "SEE ALSO")
[[ $headings == "$expected" ]] || fail "portwarden-cli.1's headings are not its sections: $(tr '\n' '|' <<<"$headings")"

if ((failures)); then exit 1; fi
echo "man pages: both render without warnings, with every section and an entry for every verb"
