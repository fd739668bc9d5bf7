#!/bin/bash
# Runs one fuzz target for a fixed time on a working copy of its corpus:
#   run-target.sh BINARY CORPUS WORKDIR SECONDS
# The copy lives in WORKDIR and keeps what earlier runs found; the corpus
# in the source tree is only read. A crash, leak or time-out fails the run
# and leaves its input in WORKDIR (crash-*, leak-*, timeout-*).
set -euo pipefail
binary=$1 corpus=$2 work=$3 seconds=$4

mkdir -p "$work/corpus"
cp -rn "$corpus/." "$work/corpus/"
# stdout and stderr of the code under test are closed: the readers log every
# block. libFuzzer's own report and the sanitizers' still appear.
exec "$binary" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus"
