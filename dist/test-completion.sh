#!/bin/bash
# Checks the bash completion of wavectl.
#   test-completion.sh COMPLETION_FILE SOURCE_DIR
# Completes typed command lines as bash would and compares the offered words;
# then compares the words offered for commands, modes, routes and create flags
# with those the daemon's request parser accepts, so that neither side can
# drift from the other unnoticed.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: test-completion.sh COMPLETION_FILE SOURCE_DIR" >&2
  exit 2
fi
# shellcheck source=/dev/null
source "$1" || exit 1
src=$2
failures=0

# Prints the words offered for a command line typed up to the cursor at its
# end, sorted, on one line. A trailing space starts a new, empty word.
offered() {
  local line=$1
  read -r -a COMP_WORDS <<<"$line"
  if [ "${line: -1}" = " " ]; then
    COMP_WORDS+=("")
  fi
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _wavectl wavectl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

# check LINE EXPECTED: EXPECTED lists the words in any order ("" for none).
check() {
  local got want
  local -a expected
  read -r -a expected <<<"$2"
  got=$(offered "$1")
  want=$(printf '%s\n' "${expected[@]}" | sort | xargs)
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$1<TAB>' offered [$got], expected [$want]"
    failures=$((failures + 1))
  fi
}

all_flags="--channel --channel6 --channel5 --channel56 --hidden --width"
psc="5 21 37 53 69 85 101 117 133 149 165 181 197 213 229"
five="0 36 52 100 116 132 149 165"

# Command words.
check "wavectl cr" "create"
check "wavectl te" "test test-scan teardown"
check "wavectl get" "get-channels getcreds"
check "wavectl st" "state status"
check "wavectl x" ""
check "wavectl refresh " "--dump-keys"
check "wavectl refresh --dump-keys " ""
for done_command in status state getcreds get-channels teardown delayrefresh enablencm test-scan; do
  check "wavectl $done_command " ""
done

# create: free name and password, then mode, route and flags.
check "wavectl create " ""
check "wavectl create n " ""
check "wavectl create - - " "hbs hbs6 scs"
check "wavectl create n p " "hbs hbs6 scs"
check "wavectl create n p hbs" "hbs hbs6"
check "wavectl create n p hbs " "nat noroute transparent"
check "wavectl create n p scs no" "noroute"
check "wavectl create n p hbs nat " "$all_flags"
check "wavectl create n p hbs nat --w" "--width"
check "wavectl create n p hbs nat --channel5" "--channel5 --channel56"
check "wavectl create n p hbs nat --channel" "--channel --channel6 --channel5 --channel56"

# Flag values, and flags again after them.
check "wavectl create n p hbs nat --width " "80 160"
check "wavectl create n p hbs nat --width 1" "160"
check "wavectl create n p hbs nat --width 80 --h" "--hidden"
check "wavectl create n p hbs nat --hidden --width " "80 160"
check "wavectl create n p hbs nat --channel " "$psc"
check "wavectl create n p hbs nat --channel6 3" "37"
check "wavectl create n p hbs nat --channel5 " "$five"
check "wavectl create n p hbs nat --channel56 " "$five"
check "wavectl create n p hbs nat --channel56 36 " "0 $psc"
check "wavectl create n p hbs nat --channel56 36 37 " "$all_flags"
check "wavectl create n p hbs nat --channel56 36 37 --width 80 --channel5 1" "100 116 132 149 165"

# test takes free words only.
check "wavectl test " ""
check "wavectl test n p 6 " ""
check "wavectl test n p 6 37 " ""

# The offered words against what the daemon accepts.
words_in() { # FILE REGEX: the quoted words that the regex's group matches
  grep -oE "$2" "$src/$1" | sed -E 's/.*"([^"]+)".*/\1/' | sort -u | xargs
}
agree() { # WHAT OFFERED ACCEPTED
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1 offered [$2], the daemon accepts [$3]"
    failures=$((failures + 1))
  elif [ -z "$3" ]; then
    echo "FAIL: no $1 found in the daemon's sources"
    failures=$((failures + 1))
  fi
}
agree "commands" "$(offered "wavectl ")" \
  "$(words_in daemon/core/dispatch.cc '\{"[a-z-]+", Match::')"
agree "modes" "$(offered "wavectl create n p ")" \
  "$(words_in daemon/lifecycle/daemon_state.h '\{kMode[A-Za-z0-9]+, "[a-z0-9]+"')"
agree "routes" "$(offered "wavectl create n p hbs ")" \
  "$(words_in daemon/lifecycle/daemon_state.h '\{kRoute[A-Za-z]+, "[a-z]+"')"
agree "create flags" "$(offered "wavectl create n p hbs nat ")" \
  "$(words_in daemon/core/create_grammar.cc 'strcmp\(word, "--[a-z0-9]+"\)')"

if [ $failures -ne 0 ]; then
  echo "$failures completion check(s) failed"
  exit 1
fi
echo "completion checks passed"
