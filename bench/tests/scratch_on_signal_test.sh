#!/bin/bash
# A benchmark interrupted while it works (Ctrl+C, `timeout`) removes its
# scratch folder before it ends: bench_batch is started in a TMPDIR of its
# own, interrupted once its folder of images exists, and must leave TMPDIR
# empty and end by the signal it was given.
set -u
# Job control: a job started in the background gets SIGINT as a terminal's
# Ctrl+C gives it (without it the shell starts the job with SIGINT ignored).
set -m
bench="$1"
for sig in INT TERM; do
  tmp=$(mktemp -d)
  TMPDIR="$tmp" "$bench" --benchmark_filter=BatchRun >/dev/null 2>&1 &
  pid=$!
  # Wait for the folder to appear (the program's first step), never a fixed delay.
  until compgen -G "$tmp/sorvanta_bench_batch_*" >/dev/null; do
    kill -0 $pid 2>/dev/null || { echo "bench_batch ended before making its folder"; rm -rf "$tmp"; exit 1; }
    sleep 0.05
  done
  kill -$sig $pid
  wait $pid
  status=$?
  left=$(ls -A "$tmp")
  rm -rf "$tmp"
  if [ -n "$left" ]; then echo "SIG$sig left: $left"; exit 1; fi
  expected=$((128 + $(kill -l $sig)))
  if [ $status -ne $expected ]; then echo "SIG$sig: status $status, not $expected"; exit 1; fi
  echo "SIG$sig: folder removed, status $status"
done
