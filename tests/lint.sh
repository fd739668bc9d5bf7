#!/bin/bash
# Style checks of the tree, run as tests.
#   lint.sh format SOURCE_DIR         every C++ file matches .clang-format
#   lint.sh tidy SOURCE_DIR BUILD_DIR the product code is clang-tidy clean
#   lint.sh layers SOURCE_DIR         the product code's includes point one way
set -uo pipefail
mode=$1
src=$2
cd "$src" || exit 1
mapfile -t files < <(find common daemon tools tests fuzz bench -name '*.cc' -o -name '*.h' | sort)
case "$mode" in
  format)
    clang-format --dry-run --Werror "${files[@]}"
    ;;
  tidy)
    build=$3
    mapfile -t product < <(find common daemon tools -name '*.cc' | sort)
    out=$(run-clang-tidy -p "$build" -quiet "${product[@]}" 2>&1)
    rc=$?
    if [ $rc -ne 0 ] || grep -qE '(warning|error): ' <<<"$out"; then
      grep -E -A3 '(warning|error): ' <<<"$out"
      exit 1
    fi
    ;;
  layers)
    # Each folder may include its own headers and those of the folders
    # below it, never those above: common < netlink < regulatory < hostapd
    # < lifecycle < core; the tools use common only. One exception: the
    # channel arithmetic (daemon/regulatory/channels.h) includes nothing
    # and is built into bandprobe's interface query as well.
    rank() {
      case "$1" in
        common/*) echo 0 ;;
        daemon/netlink/*) echo 1 ;;
        daemon/regulatory/*) echo 2 ;;
        daemon/hostapd/*) echo 3 ;;
        daemon/lifecycle/*) echo 4 ;;
        daemon/core/*) echo 5 ;;
        tools/*) echo 6 ;;
        *) echo 9 ;;
      esac
    }
    bad=0
    while IFS=: read -r file _ header; do
      header=${header#*\"}
      header=${header%%\"*}
      [ -f "$header" ] || continue  # a system header
      [ "$header" = daemon/regulatory/channels.h ] && continue
      from=$(rank "$file")
      to=$(rank "$header")
      if [ "$from" -eq 6 ] && [ "$to" -ne 0 ] && [ "${header%/*}" != "${file%/*}" ]; then
        echo "$file includes $header: the tools use common only"
        bad=1
      elif [ "$to" -gt "$from" ]; then
        echo "$file includes $header, a layer above it"
        bad=1
      fi
    done < <(grep -n '^#include "' $(find common daemon tools -name '*.cc' -o -name '*.h' | sort))
    exit $bad
    ;;
  *)
    echo "usage: lint.sh format|tidy|layers SOURCE_DIR [BUILD_DIR]" >&2
    exit 2
    ;;
esac
