#!/bin/bash
# Style checks of the tree, run as tests.
#   lint.sh format SOURCE_DIR         every C++ file matches .clang-format
#   lint.sh tidy SOURCE_DIR BUILD_DIR the product code is clang-tidy clean
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
  *)
    echo "usage: lint.sh format|tidy SOURCE_DIR [BUILD_DIR]" >&2
    exit 2
    ;;
esac
