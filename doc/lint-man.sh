#!/bin/bash
# Checks generated manual pages: any warning of mandoc's linter or of groff
# (through man) fails.
#   lint-man.sh [--mandoc PATH] [--man PATH] PAGE...
# scdoc opens every section, subsection and list with a paragraph macro that
# mandoc reports as redundant; those reports say nothing about the source and
# are the only ones let through.
set -uo pipefail

mandoc=
man=
while [ $# -gt 0 ]; do
  case "$1" in
    --mandoc) mandoc=$2; shift 2 ;;
    --man) man=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ -z "$mandoc" ] && [ -z "$man" ] || [ $# -eq 0 ]; then
  echo "usage: lint-man.sh [--mandoc PATH] [--man PATH] PAGE..." >&2
  exit 2
fi

generated='skipping paragraph macro: PP (empty|after SH|after SS)$'
failed=0
for page in "$@"; do
  if [ ! -s "$page" ]; then
    echo "$page: missing; build the man target first" >&2
    failed=1
    continue
  fi
  if [ -n "$mandoc" ]; then
    # mandoc exits non-zero on any report; judge by what is left after the
    # generator's own.
    out=$("$mandoc" -T lint -W warning "$page" 2>&1 | grep -Ev "$generated")
    if [ -n "$out" ]; then
      echo "$out"
      failed=1
    fi
  fi
  if [ -n "$man" ]; then
    # A fixed UTF-8 locale, so that man does not complain about the caller's.
    err=$(LC_ALL=C.UTF-8 MANWIDTH=80 "$man" --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$err" ]; then
      echo "$page (groff):"
      echo "$err"
      failed=1
    fi
  fi
done
exit $failed
