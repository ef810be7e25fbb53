#!/usr/bin/env bash
# Lints manual pages with groff and mandoc and fails on any warning.
#
# mandoc counts the length of a line after turning each non-ASCII character
# into a 7-byte escape, which no Russian text passes: its "longer than 80
# bytes" note is replaced here by a count of the line's characters. Every
# other message of mandoc, and every warning of groff, fails the run.
#
# Usage: man_lint.sh PAGE...
# Exits with 77 (skipped) where groff or mandoc is missing.
set -u

status=0
fail() {
  echo "$*" >&2
  status=1
}

(($# > 0)) || { echo "usage: $0 PAGE..." >&2; exit 2; }
for tool in groff mandoc; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped" >&2; exit 77; }
done

for page in "$@"; do
  [[ -f $page ]] || { fail "$page: no such file"; continue; }
  # -k runs preconv, which reads the page's coding line (UTF-8).
  groff_out=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
  [[ -z $groff_out ]] || fail "$groff_out"

  mandoc_out=$(mandoc -Tlint "$page" 2>&1 | grep -v ': STYLE: input text line longer than 80 bytes')
  [[ -z $mandoc_out ]] || fail "$mandoc_out"
  # Without the UTF-8 continuation bytes, a line's bytes are its characters.
  long_lines=$(LC_ALL=C tr -d '\200-\277' <"$page" |
    awk -v page="$page" 'length > 80 { print page ":" NR ": " length " characters" }')
  [[ -z $long_lines ]] || fail "$long_lines"

  # Lines man(7) would take for requests by mistake, or that end in blanks.
  if grep -n -E "^[[:space:]]|[[:space:]]$" "$page" >&2; then
    fail "$page: lines that begin or end with blanks"
  fi
done
exit "$status"
